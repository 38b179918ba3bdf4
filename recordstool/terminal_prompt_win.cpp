// On Windows the command asks for no password: the shared database, the only thing that
// wants one, is not part of the Windows build.
#include "recordstool/terminal_prompt.h"

namespace qarn3 {

bool TerminalPasswordPrompt::available() {
    return false;
}

std::optional<std::string> TerminalPasswordPrompt::askPassword(const DatabaseLocation&) {
    return std::nullopt;
}

} // namespace qarn3
