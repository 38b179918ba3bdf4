#include "recordstool/terminal_prompt.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <termios.h>
#include <unistd.h>

namespace qarn3 {

namespace {

// The signals that end a command at its prompt: Ctrl-C, Ctrl-\, kill, the terminal closed.
constexpr std::array<int, 4> kEndingSignals{SIGINT, SIGQUIT, SIGTERM, SIGHUP};

// What a signal handler puts back: the terminal asked on and its settings before the echo was
// turned off. A handler can be handed nothing, so this is the file's own state, set before the
// handlers are installed and cleared after they are removed; one question at a time.
std::atomic<int> g_quietTerminal{-1};
termios g_echoing{};
std::mutex g_oneQuestion;
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

// Only calls that are safe in a handler: the terminal is given back its echo, and the signal
// then does what it would have done (ends the program) once the handler returns.
extern "C" void restoreTerminalAndEnd(int signal) {
    const int fd = g_quietTerminal.load();
    if (fd >= 0) ::tcsetattr(fd, TCSANOW, &g_echoing);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    ::raise(signal);
}

// The terminal without echo while it lives, and as it was after, whichever way the prompt
// ends: a return, an error, an exception or one of the signals that end the command. A signal
// the command ignores (started under nohup) stays ignored.
class QuietTerminal {
public:
    explicit QuietTerminal(int fd) : m_fd(fd) {
        if (::tcgetattr(fd, &g_echoing) != 0) return;
        g_quietTerminal = fd;
        struct sigaction ours {};
        ours.sa_handler = restoreTerminalAndEnd;
        ::sigemptyset(&ours.sa_mask);
        for (int s : kEndingSignals)
            ::sigaddset(&ours.sa_mask, s);
        // An ignored signal is read first and left alone, so that it is never ours even for
        // a moment (a hang-up then would end a command started under nohup).
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &m_before[i]);
            if (m_before[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &ours, nullptr);
        }
        termios quiet = g_echoing;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
        m_quiet = true;
    }
    ~QuietTerminal() {
        if (!m_quiet) return;
        ::tcsetattr(m_fd, TCSAFLUSH, &g_echoing);
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i)
            ::sigaction(kEndingSignals[i], &m_before[i], nullptr);
        g_quietTerminal = -1;
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

private:
    int m_fd;
    bool m_quiet = false;
    std::array<struct sigaction, kEndingSignals.size()> m_before{};
};

} // namespace

bool TerminalPasswordPrompt::available() {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::optional<std::string> TerminalPasswordPrompt::askPassword(const DatabaseLocation& where) {
    const std::lock_guard<std::mutex> one(g_oneQuestion);
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const std::string question = "Password for " +
                                 escapeControls(where.user.empty() ? "the login" : where.user) +
                                 " at " + escapeControls(where.display()) + ": ";
    bool ok =
        ::write(fd, question.data(), question.size()) == static_cast<ssize_t>(question.size());
    // Room for any password typed, so that no shorter copy is left behind by a reallocation.
    std::string password;
    password.reserve(1024);
    ssize_t n = 0;
    {
        const QuietTerminal quiet(fd);
        char c = 0;
        while (ok) {
            n = ::read(fd, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n != 1 || c == '\n') break;
            password += c;
        }
    }
    ok = ok && ::write(fd, "\n", 1) == 1 && n == 1;
    ::close(fd);
    if (ok) return password;
    clearSecret(password);
    return std::nullopt;
}

} // namespace qarn3
