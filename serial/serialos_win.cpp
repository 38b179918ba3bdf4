// The serial calls on Windows: the communications API on a port opened for overlapped reads
// and writes. The component above sees the same calls as on Linux: non-blocking reads of what
// the driver holds, writes handed to the driver's queue, and waits for the event mask's
// events (data, modem lines, errors) together with the worker's wake-up event.
#include "serial/serialos.h"

#include "platform/winpath.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qarn3 {

namespace {

int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EBUSY; // another program holds the port
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return ENOTTY;
    case ERROR_OPERATION_ABORTED:
        return EINTR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO; // the device went away, or failed
    }
}

int lastError() {
    return -errnoOf(::GetLastError());
}

constexpr DWORD kEventMask =
    EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;
constexpr std::size_t kWriteChunk = 4096;
constexpr DWORD kPollMs = 10;
constexpr DWORD kReopenMs = 500;

// One open port; every descriptor of it shares it, the last one closed closes it.
struct Port {
    HANDLE h = INVALID_HANDLE_VALUE;
    std::wstring name; // as opened
    std::mutex m;
    OVERLAPPED readOv{};
    OVERLAPPED eventOv{};
    DWORD eventMask = 0;
    bool eventPending = false;
    OVERLAPPED writeOv{};
    std::vector<std::uint8_t> writeBuf;
    bool writePending = false;
    bool gone = false;
    // The driver has no event waits (a pseudo-terminal under Wine, some adapters): the
    // queue is polled instead.
    bool noEventWaits = false;
    LineCounters counters;

    explicit Port(HANDLE handle) : h(handle) {
        readOv.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        eventOv.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        writeOv.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        writeBuf.reserve(kWriteChunk);
    }
    ~Port() {
        ::CancelIoEx(h, nullptr);
        DWORD n = 0;
        // The system writes into these until the cancelled calls are done.
        if (eventPending) ::GetOverlappedResult(h, &eventOv, &n, TRUE);
        if (writePending) ::GetOverlappedResult(h, &writeOv, &n, TRUE);
        ::CloseHandle(h);
        for (HANDLE e : {readOv.hEvent, eventOv.hEvent, writeOv.hEvent})
            if (e) ::CloseHandle(e);
    }
    bool ready() const { return readOv.hEvent && eventOv.hEvent && writeOv.hEvent; }

    // The driver's queues and errors; the errors are counted as the line counters count them.
    // Called with m held.
    bool status(COMSTAT& st) {
        DWORD errors = 0;
        if (!::ClearCommError(h, &errors, &st)) {
            gone = true;
            return false;
        }
        if (errors & CE_FRAME) ++counters.frame;
        if (errors & CE_OVERRUN) ++counters.overrun;
        if (errors & CE_RXPARITY) ++counters.parity;
        if (errors & CE_BREAK) ++counters.brk;
        if (errors & CE_RXOVER) ++counters.bufOverrun;
        return true;
    }
    void countEvents(DWORD mask) {
        if (mask & EV_CTS) ++counters.cts;
        if (mask & EV_DSR) ++counters.dsr;
        if (mask & EV_RING) ++counters.ring;
        if (mask & EV_RLSD) ++counters.rlsd;
    }
    // Takes a finished event wait's result; with m held.
    void settleEvent() {
        if (!eventPending || !HasOverlappedIoCompleted(&eventOv)) return;
        DWORD n = 0;
        eventPending = false;
        if (!::GetOverlappedResult(h, &eventOv, &n, FALSE)) {
            if (::GetLastError() != ERROR_OPERATION_ABORTED) gone = true;
            return;
        }
        countEvents(eventMask);
    }
    // Takes a finished write's result; with m held.
    void settleWrite() {
        if (!writePending || !HasOverlappedIoCompleted(&writeOv)) return;
        DWORD n = 0;
        writePending = false;
        if (!::GetOverlappedResult(h, &writeOv, &n, FALSE) &&
            ::GetLastError() != ERROR_OPERATION_ABORTED)
            gone = true;
    }
};

} // namespace

struct WinSerialOs::Table {
    std::mutex m;
    std::map<int, std::shared_ptr<Port>> ports;
    std::map<int, HANDLE> wakes;
    // The ports closed here whose handle a descriptor still in another thread's call keeps
    // open (the worker's, until it wakes and lets go), by the name they were opened under.
    std::vector<std::pair<std::wstring, std::weak_ptr<Port>>> closing;
    int next = 3;

    // True while one of this program's own closed ports of that name is still open.
    bool stillClosing(const std::wstring& name) {
        std::lock_guard lock(m);
        std::erase_if(closing, [](const auto& c) { return c.second.expired(); });
        return std::any_of(closing.begin(), closing.end(),
                           [&](const auto& c) { return c.first == name; });
    }

    std::shared_ptr<Port> port(int fd) {
        std::lock_guard lock(m);
        const auto it = ports.find(fd);
        return it == ports.end() ? nullptr : it->second;
    }
    HANDLE wake(int fd) {
        std::lock_guard lock(m);
        const auto it = wakes.find(fd);
        return it == wakes.end() ? nullptr : it->second;
    }
};

WinSerialOs::WinSerialOs() : m_table(new Table) {}

WinSerialOs::~WinSerialOs() {
    for (const auto& [fd, e] : m_table->wakes)
        ::CloseHandle(e);
    delete m_table;
}

int WinSerialOs::openPort(const std::string& path) {
    const std::wstring wide = widePath(path);
    // No sharing: the port is this program's alone while it is open. A port this program has
    // just closed and opens again (the discovery does, after its probe) stays open until the
    // worker, woken by the close, lets go of its descriptor, which takes it moments. Once one
    // of its own closed ports of the name has been seen still open, the open is retried
    // until kReopenMs have passed: the handle is closed a moment after the last descriptor.
    HANDLE h = INVALID_HANDLE_VALUE;
    const ULONGLONG deadline = ::GetTickCount64() + kReopenMs;
    bool ownStillOpen = false;
    for (;;) {
        ownStillOpen = ownStillOpen || m_table->stillClosing(wide);
        h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
        if (h != INVALID_HANDLE_VALUE) break;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
            !ownStillOpen || ::GetTickCount64() >= deadline)
            return -errnoOf(error);
        ::Sleep(kPollMs);
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) {
        ::CloseHandle(h);
        return -ENOTTY; // not a communications port
    }
    // Reads return at once with what is waiting; writes take as long as the line needs.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    if (!::SetupComm(h, 4096, 4096) || !::SetCommTimeouts(h, &timeouts) ||
        !::SetCommMask(h, kEventMask)) {
        const int e = lastError();
        ::CloseHandle(h);
        return e;
    }
    auto port = std::make_shared<Port>(h);
    if (!port->ready()) return -ENOMEM;
    port->name = wide;
    std::lock_guard lock(m_table->m);
    const int fd = m_table->next++;
    m_table->ports[fd] = std::move(port);
    return fd;
}

int WinSerialOs::closePort(int fd) {
    std::shared_ptr<Port> last;
    {
        std::lock_guard lock(m_table->m);
        const auto it = m_table->ports.find(fd);
        if (it == m_table->ports.end()) return -EBADF;
        last = std::move(it->second);
        m_table->ports.erase(it);
        std::erase_if(m_table->closing, [](const auto& c) { return c.second.expired(); });
        m_table->closing.emplace_back(last->name, last);
    }
    return 0; // the handle is closed with the last descriptor, outside the table's lock
}

int WinSerialOs::duplicate(int fd) {
    std::lock_guard lock(m_table->m);
    const auto it = m_table->ports.find(fd);
    if (it == m_table->ports.end()) return -EBADF;
    const int copy = m_table->next++;
    m_table->ports[copy] = it->second;
    return copy;
}

int WinSerialOs::releaseExclusive(int fd) {
    // The port is free once its handle is closed. Its calls still pending are cancelled, so
    // that a descriptor in a wait lets go of it the sooner.
    if (const auto p = m_table->port(fd)) ::CancelIoEx(p->h, nullptr);
    return 0;
}

int WinSerialOs::getAttributes(int fd, termios& t) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(p->h, &dcb)) return lastError();
    t = termios{};
    t.c_ispeed = t.c_ospeed = dcb.BaudRate;
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = CREAD | CLOCAL | sizes[std::clamp<int>(dcb.ByteSize, 5, 8) - 5];
    static constexpr tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                            PARENB | CMSPAR};
    if (dcb.Parity <= SPACEPARITY) t.c_cflag |= parities[dcb.Parity];
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow) t.c_cflag |= CRTSCTS;
    if (dcb.fParity) t.c_iflag |= INPCK;
    if (dcb.fOutX) t.c_iflag |= IXON;
    if (dcb.fInX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return 0;
}

int WinSerialOs::setAttributes(int fd, const termios& t) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(p->h, &dcb)) return lastError();
    dcb.BaudRate = t.c_ospeed;
    dcb.fBinary = TRUE;
    dcb.ByteSize = static_cast<BYTE>(5 + (t.c_cflag & CSIZE) / CS6);
    const tcflag_t parity = t.c_cflag & (PARENB | PARODD | CMSPAR);
    dcb.Parity = !(parity & PARENB)                     ? NOPARITY
                 : parity == (PARENB | PARODD)          ? ODDPARITY
                 : parity == PARENB                     ? EVENPARITY
                 : parity == (PARENB | PARODD | CMSPAR) ? MARKPARITY
                                                        : SPACEPARITY;
    dcb.fParity = (t.c_iflag & INPCK) ? TRUE : FALSE;
    // Two stop bits, or one and a half with five data bits, as the UART sends them.
    dcb.StopBits = !(t.c_cflag & CSTOPB) ? ONESTOPBIT
                   : dcb.ByteSize == 5    ? ONE5STOPBITS
                                          : TWOSTOPBITS;
    const bool handshake = (t.c_cflag & CRTSCTS) != 0;
    dcb.fOutxCtsFlow = handshake;
    if (handshake)
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = (t.c_iflag & IXON) ? TRUE : FALSE;
    dcb.fInX = (t.c_iflag & IXOFF) ? TRUE : FALSE;
    dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    dcb.XonLim = 1024;
    dcb.XoffLim = 1024;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    // A line error must not stop the reads until it is cleared: the status poll clears and
    // counts it.
    dcb.fAbortOnError = FALSE;
    return ::SetCommState(p->h, &dcb) ? 0 : lastError();
}

int WinSerialOs::inQueue(int fd) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    std::lock_guard lock(p->m);
    COMSTAT st{};
    if (!p->status(st)) return -EIO;
    return static_cast<int>(std::min<DWORD>(st.cbInQue, 1 << 30));
}

int WinSerialOs::outQueue(int fd) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    std::lock_guard lock(p->m);
    COMSTAT st{};
    if (!p->status(st)) return -EIO;
    p->settleWrite();
    // A write the driver has not finished is still queued, whatever its count says.
    const DWORD queued = std::max<DWORD>(st.cbOutQue, p->writePending ? 1 : 0);
    return static_cast<int>(std::min<DWORD>(queued, 1 << 30));
}

int WinSerialOs::modemBits(int fd, int& bits) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    DWORD s = 0;
    if (!::GetCommModemStatus(p->h, &s)) return lastError();
    bits = ((s & MS_CTS_ON) ? TIOCM_CTS : 0) | ((s & MS_DSR_ON) ? TIOCM_DSR : 0) |
           ((s & MS_RING_ON) ? TIOCM_RNG : 0) | ((s & MS_RLSD_ON) ? TIOCM_CAR : 0);
    return 0;
}

int WinSerialOs::setModemBits(int fd, int bits, bool on) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    if ((bits & TIOCM_DTR) && !::EscapeCommFunction(p->h, on ? SETDTR : CLRDTR))
        return lastError();
    if ((bits & TIOCM_RTS) && !::EscapeCommFunction(p->h, on ? SETRTS : CLRRTS))
        return lastError();
    return 0;
}

int WinSerialOs::counters(int fd, LineCounters& c) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    std::lock_guard lock(p->m);
    COMSTAT st{};
    if (!p->status(st)) return -EIO;
    p->settleEvent();
    c = p->counters;
    return 0;
}

int WinSerialOs::setBreak(int fd, bool on) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    return (on ? ::SetCommBreak(p->h) : ::ClearCommBreak(p->h)) ? 0 : lastError();
}

int WinSerialOs::flush(int fd, int queues) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    DWORD what = 0;
    if (queues == TCIFLUSH || queues == TCIOFLUSH) what |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (queues == TCOFLUSH || queues == TCIOFLUSH) what |= PURGE_TXABORT | PURGE_TXCLEAR;
    return ::PurgeComm(p->h, what) ? 0 : lastError();
}

long WinSerialOs::readSome(int fd, std::uint8_t* data, std::size_t n) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    std::lock_guard lock(p->m);
    DWORD got = 0;
    ::ResetEvent(p->readOv.hEvent);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, 1 << 30));
    if (!::ReadFile(p->h, data, want, &got, &p->readOv)) {
        if (::GetLastError() != ERROR_IO_PENDING) return lastError();
        // The time-outs make it return at once with what the driver holds.
        if (!::GetOverlappedResult(p->h, &p->readOv, &got, TRUE)) return lastError();
    }
    return got == 0 ? -EAGAIN : static_cast<long>(got);
}

long WinSerialOs::writeSome(int fd, const std::uint8_t* data, std::size_t n) {
    const auto p = m_table->port(fd);
    if (!p) return -EBADF;
    std::lock_guard lock(p->m);
    p->settleWrite();
    if (p->gone) return -EIO;
    if (p->writePending) return -EAGAIN; // the driver's queue still holds the last one
    const std::size_t take = std::min(n, kWriteChunk);
    p->writeBuf.assign(data, data + take);
    ::ResetEvent(p->writeOv.hEvent);
    DWORD done = 0;
    if (::WriteFile(p->h, p->writeBuf.data(), static_cast<DWORD>(take), &done, &p->writeOv))
        return static_cast<long>(done);
    if (::GetLastError() != ERROR_IO_PENDING) return lastError();
    p->writePending = true; // the buffer stays with the driver until the write is done
    return static_cast<long>(take);
}

int WinSerialOs::waitFor(pollfd* fds, int count, int timeoutMs) {
    std::vector<HANDLE> handles;
    std::vector<std::shared_ptr<Port>> ports(static_cast<std::size_t>(count));
    std::vector<HANDLE> wakes(static_cast<std::size_t>(count), nullptr);
    DWORD pollEvery = 0;
    bool eventAtOnce = false;
    for (int i = 0; i < count; ++i) {
        fds[i].revents = 0;
        // Winsock's descriptor is unsigned: -1 (no wake-up) comes back as its largest value.
        if (static_cast<int>(fds[i].fd) < 0) continue;
        if (HANDLE e = m_table->wake(static_cast<int>(fds[i].fd)))
            wakes[static_cast<std::size_t>(i)] = e;
        else if (!(ports[static_cast<std::size_t>(i)] = m_table->port(static_cast<int>(fds[i].fd))))
            fds[i].revents = POLLNVAL;
    }
    // What is ready now; with arm, the waits for what is not are started.
    auto check = [&](bool arm) {
        int ready = 0;
        for (int i = 0; i < count; ++i) {
            pollfd& f = fds[i];
            const std::size_t k = static_cast<std::size_t>(i);
            if (f.revents & POLLNVAL) {
                ++ready;
                continue;
            }
            if (HANDLE e = wakes[k]) {
                if (::WaitForSingleObject(e, 0) == WAIT_OBJECT_0)
                    f.revents = POLLIN;
                else if (arm)
                    handles.push_back(e);
            } else if (Port* p = ports[k].get()) {
                std::lock_guard lock(p->m);
                p->settleEvent();
                p->settleWrite();
                COMSTAT st{};
                if (p->gone || !p->status(st)) {
                    f.revents = POLLHUP;
                } else {
                    if ((f.events & POLLIN) && st.cbInQue > 0) f.revents |= POLLIN;
                    if ((f.events & POLLOUT) && !p->writePending) f.revents |= POLLOUT;
                }
                if (arm && f.revents == 0) {
                    if ((f.events & POLLIN) && !p->noEventWaits) {
                        if (!p->eventPending) {
                            ::ResetEvent(p->eventOv.hEvent);
                            if (::WaitCommEvent(p->h, &p->eventMask, &p->eventOv)) {
                                // Events kept from before the wait: counted, and the worker
                                // looks again at once rather than waiting blind.
                                p->countEvents(p->eventMask);
                                eventAtOnce = true;
                            } else if (const DWORD e = ::GetLastError(); e == ERROR_IO_PENDING) {
                                p->eventPending = true;
                            } else if (e == ERROR_NOT_SUPPORTED || e == ERROR_INVALID_FUNCTION ||
                                       e == ERROR_INVALID_PARAMETER) {
                                p->noEventWaits = true;
                            } else if (e != ERROR_OPERATION_ABORTED) {
                                f.revents = POLLHUP;
                            }
                        }
                        if (p->eventPending) handles.push_back(p->eventOv.hEvent);
                    }
                    if ((f.events & POLLIN) && p->noEventWaits) pollEvery = kPollMs;
                    if ((f.events & POLLOUT) && p->writePending)
                        handles.push_back(p->writeOv.hEvent);
                }
            }
            if (f.revents) ++ready;
        }
        return ready;
    };
    if (const int ready = check(true); ready > 0) return ready;
    if (eventAtOnce) return 0;
    // Without event waits the queue is looked at every few milliseconds until the time is up.
    const std::int64_t until = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    for (;;) {
        DWORD wait = timeoutMs < 0 ? INFINITE
                                   : static_cast<DWORD>(std::max<std::int64_t>(until - nowMs(), 0));
        if (pollEvery > 0) wait = std::min<DWORD>(wait, pollEvery);
        DWORD r = WAIT_TIMEOUT;
        if (handles.empty())
            ::Sleep(wait);
        else
            r = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                         wait);
        if (r == WAIT_FAILED) return lastError();
        if (r != WAIT_TIMEOUT || pollEvery > 0) {
            if (const int ready = check(false); ready > 0) return ready;
        }
        if (until >= 0 && nowMs() >= until) return 0;
        if (r != WAIT_TIMEOUT && pollEvery == 0) return 0; // an event without data: a status
    }
}

std::int64_t WinSerialOs::nowMs() {
    return static_cast<std::int64_t>(::GetTickCount64());
}

int WinSerialOs::makeWake() {
    const HANDLE e = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!e) return lastError();
    std::lock_guard lock(m_table->m);
    const int fd = m_table->next++;
    m_table->wakes[fd] = e;
    return fd;
}

void WinSerialOs::signalWake(int wake) {
    if (HANDLE e = m_table->wake(wake)) ::SetEvent(e);
}

void WinSerialOs::drainWake(int wake) {
    if (HANDLE e = m_table->wake(wake)) ::ResetEvent(e);
}

void WinSerialOs::closeWake(int wake) {
    std::lock_guard lock(m_table->m);
    const auto it = m_table->wakes.find(wake);
    if (it == m_table->wakes.end()) return;
    ::CloseHandle(it->second);
    m_table->wakes.erase(it);
}

std::string serialDevicePath(const std::string& portName) {
    if (portName.rfind("\\\\.\\", 0) == 0) return portName;
    return "\\\\.\\" + portName;
}

bool baudSpeed(std::uint32_t baud, speed_t& speed) {
    // The rates a Windows port driver takes as a number.
    static constexpr std::uint32_t rates[] = {110,   300,    600,    1200,   2400,   4800,
                                              9600,  14400,  19200,  38400,  57600,  115200,
                                              128000, 230400, 256000, 460800, 921600};
    if (std::find(std::begin(rates), std::end(rates), baud) == std::end(rates)) return false;
    speed = baud;
    return true;
}

bool notSupported(int error) {
    return error == -ENOTTY || error == -EINVAL || error == -ENOSYS || error == -EOPNOTSUPP;
}

} // namespace qarn3
