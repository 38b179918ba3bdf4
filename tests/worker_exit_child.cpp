// A process whose worker is stuck at exit: its one task connects to a loopback server that
// accepts the connection and never says a word, and waits for an answer. The worker is then
// finished with a bound (or destroyed without finish), and main returns with the task still
// waiting: the process must end cleanly all the same.
//
//   qarn3-worker-exit-child finish|destroy BOUND_MS
//
// Exit status 0 when the worker gave up at its bound as it should; 3 when the task was not
// waiting on the server then; 2 on a wrong command line.
#include "platform/worker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

using namespace qarn3;

namespace {

// The server: a listening socket whose handshakes the kernel completes; nothing is read or
// written. Shared by the task, which owns it as long as it waits.
struct SilentServer {
    int fd = -1;
    sockaddr_in address{};
    SilentServer() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        auto* any = reinterpret_cast<sockaddr*>(&address);
        if (fd < 0 || ::bind(fd, any, size) != 0 || ::listen(fd, 4) != 0 ||
            ::getsockname(fd, any, &size) != 0)
            address.sin_port = 0;
    }
    ~SilentServer() {
        if (fd >= 0) ::close(fd);
    }
};

struct Waiting {
    SilentServer server;
    std::atomic<int> stage{0}; // 1: connected; 2: could not connect, or answered
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qarn3-worker-exit-child finish|destroy BOUND_MS\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    const bool destroy = std::string(argv[1]) == "destroy";
    const std::chrono::milliseconds bound(std::atoi(argv[2]));
    QObject owner;
    auto worker = std::make_unique<Worker>(owner, "stuck worker", bound);
    auto waiting = std::make_shared<Waiting>();
    worker->post([waiting](const Worker::Context& job) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto* to = reinterpret_cast<const sockaddr*>(&waiting->server.address);
        if (fd >= 0 && ::connect(fd, to, sizeof waiting->server.address) == 0) {
            waiting->stage = 1;
            char byte = 0;
            ::recv(fd, &byte, 1, 0);
        }
        waiting->stage = 2;
        if (fd >= 0) ::close(fd);
        job.deliver([] { std::fprintf(stderr, "delivered after the bound\n"); });
    });
    while (waiting->stage == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QElapsedTimer t;
    t.start();
    const bool ended = destroy ? (worker.reset(), false) : worker->finish(bound);
    const auto took = t.elapsed();
    if (ended || waiting->stage != 1 || took < bound.count()) return 3;
    std::printf("left behind after %lld ms\n", static_cast<long long>(took));
    worker.reset();
    QCoreApplication::processEvents();
    return 0;
}
