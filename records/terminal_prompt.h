#pragma once

#include "records/database.h"

namespace qarn3 {

// Asks for a server's password on the controlling terminal, without echo; declines when the
// command has no terminal (a script, a service).
class TerminalPasswordPrompt : public PasswordPrompt {
public:
    std::optional<std::string> askPassword(const DatabaseLocation& where) override;
};

} // namespace qarn3
