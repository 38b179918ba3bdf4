#include "serial/serialos.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qarn3 {

namespace {
int result(int r) {
    return r < 0 ? -errno : r;
}
} // namespace

std::string serialDevicePath(const std::string& portName) {
    if (!portName.empty() && portName[0] == '/') return portName;
    return "/dev/" + portName;
}

bool baudSpeed(std::uint32_t baud, speed_t& speed) {
    struct Row {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr Row rows[] = {
        {50, B50},         {75, B75},         {110, B110},        {134, B134},
        {150, B150},       {200, B200},       {300, B300},        {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},    {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800},  {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
    for (const Row& r : rows)
        if (r.baud == baud) {
            speed = r.speed;
            return true;
        }
    return false;
}

bool notSupported(int error) {
    return error == -ENOTTY || error == -EINVAL || error == -ENOSYS || error == -EOPNOTSUPP;
}

int PosixSerialOs::openPort(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    if (!::isatty(fd)) {
        ::close(fd);
        return -ENOTTY;
    }
    if (::ioctl(fd, TIOCEXCL) < 0) {
        const int e = errno;
        ::close(fd);
        return -e;
    }
    return fd;
}

int PosixSerialOs::closePort(int fd) {
    return result(::close(fd));
}

int PosixSerialOs::duplicate(int fd) {
    return result(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

int PosixSerialOs::releaseExclusive(int fd) {
    return result(::ioctl(fd, TIOCNXCL));
}

int PosixSerialOs::getAttributes(int fd, termios& t) {
    return result(::tcgetattr(fd, &t));
}

int PosixSerialOs::setAttributes(int fd, const termios& t) {
    return result(::tcsetattr(fd, TCSANOW, &t));
}

int PosixSerialOs::inQueue(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) < 0 ? -errno : n;
}

int PosixSerialOs::outQueue(int fd) {
    int n = 0;
    return ::ioctl(fd, TIOCOUTQ, &n) < 0 ? -errno : n;
}

int PosixSerialOs::modemBits(int fd, int& bits) {
    return result(::ioctl(fd, TIOCMGET, &bits));
}

int PosixSerialOs::setModemBits(int fd, int bits, bool on) {
    return result(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits));
}

int PosixSerialOs::counters(int fd, LineCounters& c) {
    serial_icounter_struct k{};
    if (::ioctl(fd, TIOCGICOUNT, &k) < 0) return -errno;
    c.cts = static_cast<std::uint32_t>(k.cts);
    c.dsr = static_cast<std::uint32_t>(k.dsr);
    c.ring = static_cast<std::uint32_t>(k.rng);
    c.rlsd = static_cast<std::uint32_t>(k.dcd);
    c.frame = static_cast<std::uint32_t>(k.frame);
    c.overrun = static_cast<std::uint32_t>(k.overrun);
    c.parity = static_cast<std::uint32_t>(k.parity);
    c.brk = static_cast<std::uint32_t>(k.brk);
    c.bufOverrun = static_cast<std::uint32_t>(k.buf_overrun);
    return 0;
}

int PosixSerialOs::setBreak(int fd, bool on) {
    return result(::ioctl(fd, on ? TIOCSBRK : TIOCCBRK));
}

int PosixSerialOs::flush(int fd, int queues) {
    return result(::tcflush(fd, queues));
}

long PosixSerialOs::readSome(int fd, std::uint8_t* data, std::size_t n) {
    const ssize_t r = ::read(fd, data, n);
    return r < 0 ? -errno : static_cast<long>(r);
}

long PosixSerialOs::writeSome(int fd, const std::uint8_t* data, std::size_t n) {
    const ssize_t r = ::write(fd, data, n);
    return r < 0 ? -errno : static_cast<long>(r);
}

int PosixSerialOs::waitFor(pollfd* fds, int count, int timeoutMs) {
    return result(::poll(fds, static_cast<nfds_t>(count), timeoutMs));
}

int PosixSerialOs::makeWake() {
    return result(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

void PosixSerialOs::signalWake(int wake) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t r = ::write(wake, &one, sizeof one);
}

void PosixSerialOs::drainWake(int wake) {
    std::uint64_t v;
    while (::read(wake, &v, sizeof v) > 0) {
    }
}

void PosixSerialOs::closeWake(int wake) {
    ::close(wake);
}

std::int64_t PosixSerialOs::nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace qarn3
