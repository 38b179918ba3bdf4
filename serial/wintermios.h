#pragma once

// Windows only: the line settings as the component writes them (the POSIX terminal's fields
// and flags), which the Windows side of SerialOs turns into a DCB, and the wait's descriptor
// records, which are the system's own (WSAPoll's).
#ifdef _WIN32

#include <winsock2.h>

#include <cstdint>

using tcflag_t = std::uint32_t;
using cc_t = unsigned char;
using speed_t = std::uint32_t; // the baud rate itself

constexpr int NCCS = 32;
struct termios {
    tcflag_t c_iflag = 0, c_oflag = 0, c_cflag = 0, c_lflag = 0;
    cc_t c_cc[NCCS] = {};
    speed_t c_ispeed = 9600, c_ospeed = 9600;
};

// c_iflag
constexpr tcflag_t INPCK = 0x0010, IXON = 0x0400, IXOFF = 0x1000;
// c_cflag
constexpr tcflag_t CS5 = 0x00, CS6 = 0x10, CS7 = 0x20, CS8 = 0x30, CSIZE = 0x30;
constexpr tcflag_t CSTOPB = 0x40, CREAD = 0x80, PARENB = 0x100, PARODD = 0x200;
constexpr tcflag_t CLOCAL = 0x800, CMSPAR = 0x40000000, CRTSCTS = 0x80000000;
// c_cc
constexpr int VTIME = 5, VMIN = 6, VSTART = 8, VSTOP = 9;
// The queues flush() discards.
constexpr int TCIFLUSH = 0, TCOFLUSH = 1, TCIOFLUSH = 2;
// Modem lines.
constexpr int TIOCM_DTR = 0x002, TIOCM_RTS = 0x004, TIOCM_CTS = 0x020, TIOCM_CAR = 0x040,
              TIOCM_RNG = 0x080, TIOCM_DSR = 0x100;

inline void cfmakeraw(termios* t) {
    t->c_iflag = 0;
    t->c_oflag = 0;
    t->c_lflag = 0;
    t->c_cflag = (t->c_cflag & ~(CSIZE | PARENB)) | CS8;
}
inline int cfsetispeed(termios* t, speed_t s) {
    t->c_ispeed = s;
    return 0;
}
inline int cfsetospeed(termios* t, speed_t s) {
    t->c_ospeed = s;
    return 0;
}
inline speed_t cfgetospeed(const termios* t) {
    return t->c_ospeed;
}

#endif
