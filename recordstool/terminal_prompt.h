#pragma once

#include "store/database.h"

namespace qarn3 {

// Asks for a server's password on the controlling terminal, without echo; declines when the
// command has no terminal (a script, a service).
class TerminalPasswordPrompt : public DatabasePasswordPrompt {
public:
    std::optional<std::string> askPassword(const DatabaseLocation& where) override;
    // Whether the command has a terminal to ask on: without one (a script, a service) it is
    // given no prompt, and a password found nowhere is told with where it is looked for.
    static bool available();
};

} // namespace qarn3
