#pragma once

#include "link/protocol.h"
#include "link/rxring.h"
#include "serial/serialport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qarn3 {

class DebugLog;
class DialogService;
class RegistryView;
class Waits;

constexpr std::uint32_t kComBaudRate = 57600;
constexpr std::uint16_t kComRxQueueSize = 48000;
constexpr std::uint16_t kComClusterSize = 2;

// Where the analyzer's serial port is described: its USB device instance and port name.
struct TCommPortInfo {
    std::string FriendlyName;
    std::string PortName;
};

// One way the analyzer's serial driver may describe it: the USB serial number and the
// beginning (case-sensitive) of the port's friendly name.
struct DiscoveryCandidate {
    const char* serial;
    const char* friendlyPrefix;
};
constexpr DiscoveryCandidate kDiscoveryCandidates[] = {{"0123456789", "Velkorand"},
                                                       {"RQM20090414", "QARN-3"}};

// The "Communication Status" window as the link drives it.
class CommStatusView {
public:
    virtual ~CommStatusView() = default;
    // The boxes "Comm Error Count", "Rx Data Count", "Comm Error Code" and "Max RxDcount:".
    virtual void showBoxes(const std::string& errorCount, const std::string& rxDataCount,
                           const std::string& commError, const std::string& maxRxData) = 0;
    virtual void addErrorLine(const std::string& line) = 0;
    virtual void clearErrorLines() = 0;
};

// The COM link: the protocol's exchanges over the serial port component, on the main thread,
// and the receive ring that the component's chunks are appended to.
class ComLink {
public:
    ComLink(SerialPort* serial, Waits& waits, DebugLog& log, DialogService& dialogs);
    ~ComLink();
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;

    // The device store the analyzer's port is found in (none: no discovery).
    void setRegistry(const RegistryView* registry) { m_registry = registry; }
    void setStatusView(CommStatusView* view) { m_statusView = view; }

    // Finds the analyzer's port: the open port, else the first candidate whose port answers
    // the discovery probe; "COM" when none does.
    std::string GetCommPortName();
    // The port start-up tests for a source name: a device path as it is named (unless a port
    // is open), anything else through discovery.
    std::string portToTest(const std::string& sourceName);
    TCommPortInfo GetCommPortInfo(const std::string& device, const std::string& serial);
    // Adds the name of each serial port present to list, once.
    void EnumCommPorts(std::vector<std::string>& list) const;
    // The component's report: its message goes to the status window's error list.
    void ProcessErrorReceived(const std::string& msg);

    bool OpenComm(const std::string& port);
    void SerialPortOFF();
    void ClearInput(bool log);
    void SendStr(const std::string& text);
    void SendChar(std::uint8_t c) { SendStr(std::string(1, static_cast<char>(c))); }
    void SendRange(int rangeIndex);
    void StartComm();
    void StopComm();
    // 0 passed, 1 port not open, 2 time-out, 3 wrong character.
    int TestComm(const std::string& port);
    void SendCal(const std::string& image);
    bool ReceiveCal(std::string& image);
    int GetSample() { return m_ring.GetSample(m_errors); }
    // Samples lost to a full ring or the component's full chunk queue (two characters each)
    // and pairs rejected, since the link was made.
    std::uint64_t dataErrors() const;

    // Appends the component's queued chunk to the ring (the component's chunk event).
    void RxClusterReceived();

    // The discovery probe's reply: more than 200 characters, the sixth of them "1".
    bool DiscoveryReplyOK() const;

    // The status window's creation: counters cleared, mask 255, not valid, not sampling.
    void FormCreate();
    // The status window: one tick of its 110 ms timer, its buttons and its mask entry (the
    // text to show in the mask box is returned).
    void CommTimerTick();
    void ClearClick();
    void PortsClick();
    std::string MaskBoxChange(const std::string& text);

    bool portOpen() const { return m_serial && m_serial->Active(); }
    Waits& waits() { return m_waits; }
    ComRxRing& ring() { return m_ring; }
    int RxCount() const { return m_ring.RxCount(); }
    RxErrorState& errors() { return m_errors; }

    bool LinkValid = false;
    bool Sampling = false;
    std::int32_t RxDataCount = 0;
    std::int32_t MaxRxData = 0;
    std::string PortName = "COM";
    std::int32_t LoggedErrorCount = 0;
    // "**RxError: " is logged at most once in this many timer ticks (about 10 s).
    static constexpr int kRxErrorLineTicks = 91;
    std::uint32_t ErrorMask = 255;
    TCommPortInfo LastPortInfo;

private:
    SerialPort* m_serial;
    Waits& m_waits;
    DebugLog& m_log;
    DialogService& m_dialogs;
    const RegistryView* m_registry = nullptr;
    CommStatusView* m_statusView = nullptr;
    ComRxRing m_ring;
    RxErrorState m_errors;
    int m_ticksSinceRxErrorLine = kRxErrorLineTicks;
};

} // namespace qarn3
