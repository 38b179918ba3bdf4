#pragma once

#include <cstddef>
#include <string>

namespace qarn3 {

struct Services;

// The site's settings that the nine-line setup file has no room for, kept in a small file of
// "Name=value" lines beside it, so that the setup file stays as other programs read it. For
// now the mains frequency, which sets the cycle table's expected period.
struct TSiteSettings {
    int MainsHz = 60; // 50 or 60
};

constexpr const char* kSiteFileName = "QARN3Site.ini";
// The most of a site file that is read: a few short lines, with room to spare.
constexpr std::size_t kSiteReadLimit = 4096;

// The site file in the setup file's folder.
std::string siteFileBeside(const std::string& setupFileName);

// The file's lines, each ended by CR LF: a comment line, then "MainsHz=60".
std::string siteFileText(const TSiteSettings& s);

// Reads the values the text holds into the record. A UTF-8 byte order mark, blank lines,
// comments (';' or '#'), section headings ("[...]") and names it does not know are passed
// over, so that a later version's file still reads; names are taken in any case. A value that
// is not understood leaves the default in the record; the result then says why ("Mains
// frequency '55' is not 50 or 60 Hz"), else it is empty.
std::string parseSiteText(const std::string& text, TSiteSettings& s);

// Loads the record from the file. A missing file gives the defaults without a word; a file
// that cannot be read or holds a bad value gives the defaults for what it could not give,
// with a message box naming the file and the reason. False in those two cases.
bool ReadSiteFile(TSiteSettings& s, const std::string& path, Services& services);
// Writes the record to the file (atomically; a read-only file is refused); on failure shows
// "Error writing file: " + path.
bool WriteSiteFile(const TSiteSettings& s, const std::string& path, Services& services);

} // namespace qarn3
