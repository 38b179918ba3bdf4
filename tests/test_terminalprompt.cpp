// The password asked on the terminal leaves the terminal as it found it, however the command
// ends while it waits: typed Ctrl-C or Ctrl-\, killed, the terminal's hang-up, or answered.
#include "records/location.h"
#include "recordstool/terminal_prompt.h"

#include "support/pty.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

struct EndCase {
    const char* name;
    const char* typed; // what the person types at the prompt, if anything
    int killedWith;    // the signal sent to the command, 0 for none
    int diedOf;        // the signal the command must die of, 0: it exits 0
    bool nohup;        // the command was started ignoring the hang-up
};

void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.name;
}

bool echoes(int fd) {
    termios t{};
    return ::tcgetattr(fd, &t) == 0 && (t.c_lflag & ECHO) != 0;
}

// Polls until done holds or the limit passes.
template <typename Done> bool within(std::chrono::milliseconds limit, Done done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class TerminalPromptEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(TerminalPromptEnd, TerminalEchoesAgainAndTheSignalStillEndsTheCommand) {
    const EndCase& c = GetParam();
    Pty pty;
    const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    // A terminal as a shell leaves it for a command: lines, echo, the keys that signal.
    termios cooked{};
    ASSERT_EQ(::tcgetattr(slave, &cooked), 0);
    cooked.c_lflag |= ECHO | ICANON | ISIG;
    cooked.c_iflag |= ICRNL;
    cooked.c_cc[VINTR] = 0x03;
    cooked.c_cc[VQUIT] = 0x1C;
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &cooked), 0);
    DatabaseLocation where;
    std::string error;
    ASSERT_TRUE(DatabaseLocation::parse("postgresql://ann@db/qarn3", where, error)) << error;

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The command in a session of its own whose controlling terminal is the slave.
        ::setsid();
        const int tty = ::open(pty.slavePath().c_str(), O_RDWR);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (c.nohup) ::signal(SIGHUP, SIG_IGN);
        TerminalPasswordPrompt prompt;
        const auto answer = tty >= 0 ? prompt.askPassword(where) : std::nullopt;
        // Answered, the command's own handling of the signals is as it was.
        struct sigaction interrupt {
        }, hangUp{};
        ::sigaction(SIGINT, nullptr, &interrupt);
        ::sigaction(SIGHUP, nullptr, &hangUp);
        const bool asBefore =
            interrupt.sa_handler == SIG_DFL && hangUp.sa_handler == (c.nohup ? SIG_IGN : SIG_DFL);
        ::_exit(answer && *answer == "Secret77" && asBefore ? 0 : 1);
    }
    std::string shown;
    const bool asked = within(std::chrono::seconds(10), [&] {
        shown += pty.read();
        return shown.find("Password for ann at ") != std::string::npos && !echoes(slave);
    });
    EXPECT_TRUE(asked) << shown;
    if (asked && c.killedWith) ::kill(child, c.killedWith);
    if (asked && c.typed) pty.write(c.typed);
    if (!asked) ::kill(child, SIGKILL);

    int status = 0;
    const bool ended = within(std::chrono::seconds(10),
                              [&] { return ::waitpid(child, &status, WNOHANG) == child; });
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    ASSERT_TRUE(ended);
    if (c.diedOf) {
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), c.diedOf);
    } else {
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_TRUE(echoes(slave));
    EXPECT_EQ((shown + pty.read(20)).find("Secret77"), std::string::npos);
    ::close(slave);
}

INSTANTIATE_TEST_SUITE_P(Ways, TerminalPromptEnd,
                         ::testing::Values(EndCase{"CtrlCTyped", "Secr\x03", 0, SIGINT, false},
                                           EndCase{"CtrlBackslashTyped", "\x1C", 0, SIGQUIT, false},
                                           EndCase{"Interrupted", nullptr, SIGINT, SIGINT, false},
                                           EndCase{"Terminated", nullptr, SIGTERM, SIGTERM, false},
                                           EndCase{"HungUp", nullptr, SIGHUP, SIGHUP, false},
                                           EndCase{"HangUpIgnoredUnderNohup", "Secret77\n", SIGHUP,
                                                   0, true},
                                           EndCase{"Answered", "Secret77\n", 0, 0, false}),
                         [](const auto& c) { return std::string(c.param.name); });

} // namespace
