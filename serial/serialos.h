#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include "serial/wintermios.h"
#else
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace qarn3 {

// Counts of line events since the device was opened, as the driver keeps them.
struct LineCounters {
    std::uint32_t cts = 0, dsr = 0, ring = 0, rlsd = 0;
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// The operating system's serial calls, kept behind one small interface so that tests can
// play what a pseudo-terminal cannot (modem lines, line errors, breaks, huge reads). Every
// call returns 0 or a count on success and minus the system error number on failure.
class SerialOs {
public:
    virtual ~SerialOs() = default;

    // Opens a serial device for reading and writing, non-blocking, not as the controlling
    // terminal, with exclusive access; a file that is not a terminal is refused (-ENOTTY).
    virtual int openPort(const std::string& path) = 0;
    virtual int closePort(int fd) = 0;
    // A second descriptor of the same open port (the worker's own).
    virtual int duplicate(int fd) = 0;
    // Gives up exclusive access, so the port can be opened again while the last descriptor
    // is still being closed.
    virtual int releaseExclusive(int fd) = 0;

    virtual int getAttributes(int fd, termios& t) = 0;
    virtual int setAttributes(int fd, const termios& t) = 0;
    // Bytes waiting in the driver's receive / transmit queue.
    virtual int inQueue(int fd) = 0;
    virtual int outQueue(int fd) = 0;
    // The modem line bits (TIOCM_*).
    virtual int modemBits(int fd, int& bits) = 0;
    virtual int setModemBits(int fd, int bits, bool on) = 0;
    virtual int counters(int fd, LineCounters& c) = 0;
    virtual int setBreak(int fd, bool on) = 0;
    // Discards the receive queue, the transmit queue or both (TCIFLUSH, TCOFLUSH, TCIOFLUSH).
    virtual int flush(int fd, int queues) = 0;

    virtual long readSome(int fd, std::uint8_t* data, std::size_t n) = 0;
    virtual long writeSome(int fd, const std::uint8_t* data, std::size_t n) = 0;
    // Waits for the descriptors; the number ready, 0 on time-out.
    virtual int waitFor(pollfd* fds, int count, int timeoutMs) = 0;
    // Milliseconds of the monotonic clock that times reads and writes.
    virtual std::int64_t nowMs() = 0;

    // The worker's wake-up: a descriptor waitFor sees readable (POLLIN) once signalled, until
    // drained. makeWake gives it, or minus the error number.
    virtual int makeWake() = 0;
    virtual void signalWake(int wake) = 0;
    virtual void drainWake(int wake) = 0;
    virtual void closeWake(int wake) = 0;
};

// The calls on a real (or pseudo-) terminal.
class PosixSerialOs : public SerialOs {
public:
    int openPort(const std::string& path) override;
    int closePort(int fd) override;
    int duplicate(int fd) override;
    int releaseExclusive(int fd) override;
    int getAttributes(int fd, termios& t) override;
    int setAttributes(int fd, const termios& t) override;
    int inQueue(int fd) override;
    int outQueue(int fd) override;
    int modemBits(int fd, int& bits) override;
    int setModemBits(int fd, int bits, bool on) override;
    int counters(int fd, LineCounters& c) override;
    int setBreak(int fd, bool on) override;
    int flush(int fd, int queues) override;
    long readSome(int fd, std::uint8_t* data, std::size_t n) override;
    long writeSome(int fd, const std::uint8_t* data, std::size_t n) override;
    int waitFor(pollfd* fds, int count, int timeoutMs) override;
    std::int64_t nowMs() override;
    int makeWake() override;
    void signalWake(int wake) override;
    void drainWake(int wake) override;
    void closeWake(int wake) override;
};

#ifdef _WIN32
// The calls on a Windows communications port: opened as "\\.\" + name for overlapped
// reads and writes, the settings as a DCB, reads that return at once with what is waiting,
// the event mask's waits for data, modem lines and errors, writes handed to the driver's
// queue. Descriptors are this object's own numbers for the handles.
class WinSerialOs : public SerialOs {
public:
    WinSerialOs();
    ~WinSerialOs() override;
    int openPort(const std::string& path) override;
    int closePort(int fd) override;
    int duplicate(int fd) override;
    int releaseExclusive(int fd) override;
    int getAttributes(int fd, termios& t) override;
    int setAttributes(int fd, const termios& t) override;
    int inQueue(int fd) override;
    int outQueue(int fd) override;
    int modemBits(int fd, int& bits) override;
    int setModemBits(int fd, int bits, bool on) override;
    int counters(int fd, LineCounters& c) override;
    int setBreak(int fd, bool on) override;
    int flush(int fd, int queues) override;
    long readSome(int fd, std::uint8_t* data, std::size_t n) override;
    long writeSome(int fd, const std::uint8_t* data, std::size_t n) override;
    int waitFor(pollfd* fds, int count, int timeoutMs) override;
    std::int64_t nowMs() override;
    int makeWake() override;
    void signalWake(int wake) override;
    void drainWake(int wake) override;
    void closeWake(int wake) override;

private:
    struct Table;
    Table* m_table;
};
using SystemSerialOs = WinSerialOs;
#else
using SystemSerialOs = PosixSerialOs;
#endif

// The device a port name stands for: a path as it is, any other name under /dev (on
// Windows: "\\.\" + the name).
std::string serialDevicePath(const std::string& portName);

// The termios speed for a baud rate; false when the system has none for it.
bool baudSpeed(std::uint32_t baud, speed_t& speed);

// True for errors that mean "this device has no such line or counter" (a pseudo-terminal).
bool notSupported(int error);

} // namespace qarn3
