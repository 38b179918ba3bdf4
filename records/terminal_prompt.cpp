#include "records/terminal_prompt.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace qarn3 {

bool TerminalPasswordPrompt::available() {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::optional<std::string> TerminalPasswordPrompt::askPassword(const DatabaseLocation& where) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const std::string question = "Password for " +
                                 escapeControls(where.user.empty() ? "the login" : where.user) +
                                 " at " + escapeControls(where.display()) + ": ";
    bool ok =
        ::write(fd, question.data(), question.size()) == static_cast<ssize_t>(question.size());
    termios saved{};
    const bool terminal = ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    // Room for any password typed, so that no shorter copy is left behind by a reallocation.
    std::string password;
    password.reserve(1024);
    char c = 0;
    ssize_t n = 0;
    while (ok && (n = ::read(fd, &c, 1)) == 1 && c != '\n')
        password += c;
    if (terminal) ::tcsetattr(fd, TCSAFLUSH, &saved);
    ok = ok && ::write(fd, "\n", 1) == 1 && n == 1;
    ::close(fd);
    if (ok) return password;
    clearSecret(password);
    return std::nullopt;
}

} // namespace qarn3
