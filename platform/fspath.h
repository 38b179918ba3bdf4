#pragma once

#include <filesystem>
#include <string>

namespace qarn3 {

// The program's file names are UTF-8 on both systems. On Windows the C++ library alone would
// read a narrow name, and write one, in the C runtime's code page; these pass through UTF-8.
// On Linux a name is bytes and passes as it is, UTF-8 or not.
std::filesystem::path fsPath(const std::string& utf8);
std::string utf8Of(const std::filesystem::path& path);
// With '/' between the parts, as generic_string() gives them.
std::string genericUtf8Of(const std::filesystem::path& path);

} // namespace qarn3
