#pragma once

#include <string>

namespace qarn3 {

// The UTF-8 text with its bidirectional controls written out as "<U+202E>": the marks
// (U+200E, U+200F, U+061C), the embeddings and overrides (U+202A to U+202E) and the
// isolates (U+2066 to U+2069). A name shown with them obeyed can reorder itself, or the text
// after it, into another name ("\u202E" before "1-Q" prints "Q-1"); written out, what was
// typed is what is read. For display only: a stored name keeps its characters.
std::string showBidiControls(const std::string& text);

} // namespace qarn3
