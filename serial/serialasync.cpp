#include "serial/serialasync.h"

#include <QMetaObject>

#include <cerrno>

namespace qarn3 {

namespace {
constexpr const char* kCommStateError =
    "Error setting CommState, 87 indicate that Parms are incorrect";

// Raw line-control flag bits of FlowControl that have a counterpart here.
constexpr std::uint32_t kOutxCtsFlow = 0x0004;
constexpr std::uint32_t kOutX = 0x0100;
constexpr std::uint32_t kInX = 0x0200;
constexpr std::uint32_t kRtsControlMask = 0x3000;
constexpr std::uint32_t kRtsControlHandshake = 0x2000;

// StopBits 0 is one stop bit, 1 one and a half, 2 two. The line has one setting besides one
// stop bit (CSTOPB), which the UART sends as one and a half with 5 data bits and as two with
// more: one and a half is taken with 5 data bits only and two with 6 to 8, as the Windows
// driver takes them, and any other pair is refused rather than set as something else.
bool stopBitsFit(std::uint8_t stopBits, std::uint8_t dataBits) {
    if (stopBits == 1) return dataBits == 5;
    if (stopBits == 2) return dataBits >= 6;
    return stopBits == 0;
}
} // namespace

std::uint32_t autoCharTime(std::uint32_t baudRate) {
    struct Row {
        std::uint32_t baud, us;
    };
    static constexpr Row rows[] = {{110, 100000}, {300, 37000}, {600, 18000}, {1200, 9000},
                                   {2400, 4500},  {4800, 2300}, {9600, 1100}, {14400, 760},
                                   {19200, 570},  {38400, 290}, {56000, 200}, {57600, 190},
                                   {115200, 95},  {128000, 85}, {256000, 43}};
    std::uint32_t us = 1100;
    for (const Row& r : rows)
        if (baudRate >= r.baud) us = r.us;
    return us;
}

TSerialPortAsync::TSerialPortAsync(std::shared_ptr<SerialOs> os, QObject* parent)
    : QObject(parent), m_shared(std::make_shared<SerialShared>(std::move(os))) {
    if (m_shared->wakeFd < 0)
        report(1001, static_cast<std::uint32_t>(m_shared->wakeError),
               "Error Creating Overlapped Event");
    m_shared->setDeliver([this](WorkerNews&& news) {
        QMetaObject::invokeMethod(
            this, [this, n = std::move(news)]() mutable { deliver(n); }, Qt::QueuedConnection);
    });
    m_worker = std::make_unique<TWorkThread>(m_shared);
}

TSerialPortAsync::~TSerialPortAsync() {
    m_destroying = true;
    m_shared->beginDestroy();
    if (Active()) closePort(false);
    m_worker.reset();
}

void TSerialPortAsync::report(std::uint32_t place, std::uint32_t code, const std::string& msg,
                              std::uint8_t noise) {
    if (m_destroying || m_errorNoise < noise || !OnProcessError) return;
    OnProcessError(*this, place, code, msg, noise);
}

void TSerialPortAsync::raise(const TNotifyEvent& event) {
    if (event) event(*this);
}

// --- opening and closing ---

void TSerialPortAsync::SetActive(bool active) {
    if (Active()) closePort(false);
    if (active) openPort();
}

void TSerialPortAsync::SetCommPort(const std::string& name) {
    if (name == m_commPort) return;
    m_commPort = name;
    if (Active()) {
        closePort(false);
        openPort();
    }
}

void TSerialPortAsync::openPort() {
    report(110, 0, "Msg start reactivating Port", 2);
    SerialOs& os = *m_shared->os;
    const int fd = os.openPort(serialDevicePath(m_commPort));
    if (fd < 0) {
        report(serialplace::OpenFailed, static_cast<std::uint32_t>(-fd), "Error reopening Port");
        return;
    }
    const int workerFd = os.duplicate(fd);
    if (workerFd < 0) {
        os.closePort(fd);
        report(serialplace::OpenFailed, static_cast<std::uint32_t>(-workerFd),
               "Error reopening Port");
        return;
    }
    m_fd = fd;
    applySettings();
    // A device without modem lines (a pseudo-terminal) is not an error here.
    if (const int r = os.setModemBits(fd, TIOCM_DTR, true); r < 0 && !notSupported(r))
        report(601, static_cast<std::uint32_t>(-r), "Error setting DTR");
    if (const int r = os.setModemBits(fd, TIOCM_RTS, true); r < 0 && !notSupported(r))
        report(501, static_cast<std::uint32_t>(-r), "Error setting RTS");
    m_dtrState = m_rtsState = true;
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        if (m_shared->portFd >= 0) os.closePort(m_shared->portFd);
        m_shared->portFd = workerFd;
        m_shared->queueOverflowed = false;
        m_generation = ++m_shared->generation;
    }
    m_shared->wake();
}

// Never waits for the worker: the worker has its own descriptor of the port, which it lets
// go of as soon as it sees the new generation.
void TSerialPortAsync::closePort(bool hungUp) {
    report(100, 0, "Msg start deactivating Port", 2);
    SerialOs& os = *m_shared->os;
    cancelWrite();
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        if (m_shared->portFd >= 0) os.closePort(m_shared->portFd);
        m_shared->portFd = -1;
        m_generation = ++m_shared->generation;
    }
    m_shared->wake();
    if (!hungUp) {
        if (const int r = os.flush(m_fd, TCIOFLUSH); r < 0)
            report(102, static_cast<std::uint32_t>(-r), "Error clearing Queues");
    }
    os.releaseExclusive(m_fd);
    if (const int r = os.closePort(m_fd); r < 0)
        report(103, static_cast<std::uint32_t>(-r), "Error closing Port");
    m_fd = -1;
}

void TSerialPortAsync::applySettings() {
    SerialOs& os = *m_shared->os;
    termios t{};
    if (const int r = os.getAttributes(m_fd, t); r < 0) {
        report(801, static_cast<std::uint32_t>(-r), "Error getting DCB from CommState");
        return;
    }
    speed_t speed;
    if (!baudSpeed(m_baudRate, speed) || m_dataBits < 5 || m_dataBits > 8 || m_parityType > 4 ||
        !stopBitsFit(m_stopBits, m_dataBits)) {
        report(802, EINVAL, kCommStateError);
        return;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[m_dataBits - 5];
    static constexpr tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                            PARENB | CMSPAR};
    t.c_cflag |= parities[m_parityType];
    if (m_parityType != 0) t.c_iflag |= INPCK;
    if (m_stopBits != 0) t.c_cflag |= CSTOPB;
    if ((m_flowControl & kOutxCtsFlow) || (m_flowControl & kRtsControlMask) == kRtsControlHandshake)
        t.c_cflag |= CRTSCTS;
    if (m_flowControl & kOutX) t.c_iflag |= IXON;
    if (m_flowControl & kInX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(m_xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(m_xoffChar);
    // Reads return at once with whatever is waiting.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (const int r = os.setAttributes(m_fd, t); r < 0)
        report(802, static_cast<std::uint32_t>(-r), kCommStateError);
}

// --- line settings ---

void TSerialPortAsync::SetBaudRate(std::uint32_t baud) {
    m_baudRate = baud;
    if (m_xtoAuto) autoCharTimes();
    applyIfOpen();
}

void TSerialPortAsync::autoCharTimes() {
    m_rtoCharDelayTime = m_wtoCharDelayTime = autoCharTime(m_baudRate);
    m_shared->rtoCharUs = m_rtoCharDelayTime;
}

void TSerialPortAsync::SetXTOAuto(bool automatic) {
    m_xtoAuto = automatic;
    if (automatic) autoCharTimes();
}

void TSerialPortAsync::SetParityType(std::uint8_t parity) {
    m_parityType = parity;
    applyIfOpen();
}
void TSerialPortAsync::SetParityErrorChar(char c) {
    m_parityErrorChar = c;
    applyIfOpen();
}
void TSerialPortAsync::SetParityErrorReplacement(bool on) {
    m_parityErrorReplacement = on;
    applyIfOpen();
}
void TSerialPortAsync::SetStopBits(std::uint8_t stopBits) {
    m_stopBits = stopBits;
    applyIfOpen();
}
void TSerialPortAsync::SetDataBits(std::uint8_t dataBits) {
    m_dataBits = dataBits;
    applyIfOpen();
}
void TSerialPortAsync::SetXONChar(char c) {
    m_xonChar = c;
    applyIfOpen();
}
void TSerialPortAsync::SetXOFFChar(char c) {
    m_xoffChar = c;
    applyIfOpen();
}

void TSerialPortAsync::SetXONLimDiv(std::uint8_t percent) {
    if (percent > 100) {
        report(serialplace::LimitWarning, percent, "Warning XOnLimDef set to 100", 1);
        percent = 100;
    }
    m_xonLimDiv = percent;
    applyIfOpen();
}

void TSerialPortAsync::SetXOFFLimDiv(std::uint8_t percent) {
    if (percent > 100) {
        report(serialplace::LimitWarning, percent, "Warning XOffLimDef set to 100", 1);
        percent = 100;
    }
    m_xoffLimDiv = percent;
    applyIfOpen();
}

void TSerialPortAsync::SetFlowControl(std::uint32_t flags) {
    m_flowControl = flags;
    applyIfOpen();
}
void TSerialPortAsync::SetStripNullChars(bool strip) {
    m_stripNullChars = strip;
    m_shared->stripNulls = strip;
    applyIfOpen();
}
void TSerialPortAsync::SetEventChar(char c) {
    m_eventChar = c;
    m_shared->eventChar = static_cast<std::uint8_t>(c);
    applyIfOpen();
}

void TSerialPortAsync::SetRTOCharDelayTime(std::uint32_t us) {
    m_rtoCharDelayTime = us;
    m_shared->rtoCharUs = us;
}
void TSerialPortAsync::SetRTOExtraDelayTime(std::uint16_t ms) {
    m_rtoExtraDelayTime = ms;
    m_shared->rtoExtraMs = ms;
}
void TSerialPortAsync::SetWTOCharDelayTime(std::uint32_t us) {
    m_wtoCharDelayTime = us;
    applyIfOpen();
}
void TSerialPortAsync::SetWTOExtraDelayTime(std::uint16_t ms) {
    m_wtoExtraDelayTime = ms;
    applyIfOpen();
}
void TSerialPortAsync::SetClusterSize(std::uint16_t size) {
    m_clusterSize = size;
    m_shared->clusterSize = size;
}

// The driver's queues cannot be sized here; while the port is closed the request fails as
// it does on a closed handle.
void TSerialPortAsync::SetRxQueueSize(std::uint16_t size) {
    m_rxQueueSize = size;
    if (!Active()) report(101, EBADF, "Error can not set Quesize");
}
void TSerialPortAsync::SetTxQueueSize(std::uint16_t size) {
    m_txQueueSize = size;
    if (!Active()) report(102, EBADF, "Error can not set Quesize");
}

// --- modem lines ---

void TSerialPortAsync::setLine(int bit, bool on, std::uint32_t setPlace, std::uint32_t clearPlace,
                               const char* what) {
    const int r = m_shared->os->setModemBits(m_fd, bit, on);
    if (r < 0)
        report(on ? setPlace : clearPlace, static_cast<std::uint32_t>(-r),
               std::string(on ? "Error setting " : "Error clearing ") + what);
}

void TSerialPortAsync::SetRTSState(bool on) {
    if (!Active()) return;
    setLine(TIOCM_RTS, on, 501, 502, "RTS");
    m_rtsState = on;
}

void TSerialPortAsync::SetDTRState(bool on) {
    if (!Active()) return;
    setLine(TIOCM_DTR, on, 601, 602, "DTR");
    m_dtrState = on;
}

void TSerialPortAsync::SetBREAKState(bool on) {
    if (!Active()) return;
    if (const int r = m_shared->os->setBreak(m_fd, on); r < 0)
        report(on ? 701 : 702, static_cast<std::uint32_t>(-r),
               on ? "Error setting BREAK State" : "Error clearing BREAK State");
    m_breakState = on;
}

// --- sending ---

bool TSerialPortAsync::SendString(const std::string& text) {
    if (text.empty()) return true;
    return SendData(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

bool TSerialPortAsync::SendData(const std::uint8_t* data, std::size_t n) {
    if (m_shared->sendInProgress) {
        report(serialplace::SendWhileBusy, 0,
               "Msg, dont enter SendData while SendInProgress is set", 2);
        return false;
    }
    const long r = Active() ? m_shared->os->writeSome(m_fd, data, n) : -EBADF;
    if (r == static_cast<long>(n)) {
        m_writtenBytes = static_cast<std::uint32_t>(n);
        raise(OnWriteDone);
        return true;
    }
    if (r >= 0 || r == -EAGAIN) {
        {
            std::lock_guard<std::mutex> guard(m_shared->lock);
            PendingWrite& w = m_shared->write;
            w.active = true;
            ++w.serial;
            w.data.assign(data, data + n);
            w.done = r > 0 ? static_cast<std::size_t>(r) : 0;
            w.startMs = m_shared->os->nowMs();
            w.timeoutMs =
                static_cast<std::int64_t>(n) * m_wtoCharDelayTime / 1000 + m_wtoExtraDelayTime;
            m_shared->sendInProgress = true;
        }
        m_shared->wake();
        return true;
    }
    m_lastWriteError = static_cast<int>(-r);
    report(903, static_cast<std::uint32_t>(-r), "Error writing Data");
    cancelWrite();
    return false;
}

void TSerialPortAsync::cancelWrite() {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    m_shared->write.active = false;
    ++m_shared->write.serial;
    m_shared->write.data.clear();
    m_shared->sendInProgress = false;
}

void TSerialPortAsync::ClearRxDQueue() {
    if (!Active()) return;
    if (const int r = m_shared->os->flush(m_fd, TCIFLUSH); r < 0)
        report(301, static_cast<std::uint32_t>(-r), "Error clearing RxD Queue");
}

void TSerialPortAsync::ClearTxDQueue() {
    if (!Active()) return;
    cancelWrite();
    if (const int r = m_shared->os->flush(m_fd, TCOFLUSH); r < 0)
        report(401, static_cast<std::uint32_t>(-r), "Error clearing TxD Queue");
}

// --- the chunk queue ---

int TSerialPortAsync::NextClusterSize() const {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->queue.empty() ? -1 : static_cast<int>(m_shared->queue.front().data.size());
}

std::int64_t TSerialPortAsync::NextClusterCCError() const {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->queue.empty() ? -1 : std::int64_t{m_shared->queue.front().lineError};
}

bool TSerialPortAsync::TakeCluster(TSerialCluster& out) {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    if (m_shared->queue.empty()) return false;
    out = std::move(m_shared->queue.front());
    m_shared->queue.pop_front();
    m_shared->queuedBytes -= out.data.size();
    return true;
}

std::uint64_t TSerialPortAsync::DroppedBytes() const {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->droppedBytes;
}

std::vector<std::uint8_t> TSerialPortAsync::ReadNextCluster(int& size, std::int64_t& error) {
    TSerialCluster chunk;
    if (!TakeCluster(chunk)) {
        size = -1;
        error = -1;
        return {};
    }
    size = static_cast<int>(chunk.data.size());
    error = chunk.lineError;
    return std::move(chunk.data);
}

// --- what the worker hands over ---

void TSerialPortAsync::deliver(WorkerNews& news) {
    if (m_destroying) return;
    if (news.statusChanged) m_status = news.status;
    if (news.modemChanged) m_modemState = news.modem;
    if (news.writeDone) m_writtenBytes = news.writtenBytes;
    if (!news.quiet) {
        if (news.statusChanged) raise(OnCommStat);
        if (news.riChanged) raise(OnRIEvent);
        if (news.eventBits != 0) dispatch(news.eventBits);
        if (news.writeDone) raise(OnWriteDone);
        for (int i = 0; i < news.clusters; ++i)
            raise(OnRxClusterEvent);
        for (const SerialReport& r : news.reports)
            report(r.place, r.code, r.msg, r.noise);
    }
    if (news.hungUp && news.generation == m_generation && Active()) closePort(true);
}

void TSerialPortAsync::dispatch(std::uint32_t bits) {
    m_commEvent = bits;
    if (bits & ev::Break) raise(OnBreakEvent);
    if (bits & ev::Cts) raise(OnCTSEvent);
    if (bits & ev::Dsr) raise(OnDSREvent);
    if (bits & ev::Err) raise(OnLineErrorEvent);
    if (bits & ev::Ring) raise(OnRingEvent);
    if (bits & ev::Rlsd) raise(OnRLSDEvent);
    if (bits & ev::RxChar) raise(OnRxCharEvent);
    if (bits & ev::RxFlag) raise(OnRxEventCharEvent);
    if (bits & ev::TxEmpty) raise(OnTxQueueEmptyEvent);
    if (bits & ev::All) raise(OnCommEvent);
}

} // namespace qarn3
