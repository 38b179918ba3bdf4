#pragma once

#include "link/rxring.h"
#include "serial/serialport.h"

#include <cstdint>
#include <string>

namespace qarn3 {

class DebugLog;
class DialogService;
class Waits;

constexpr std::uint32_t kComBaudRate = 57600;
constexpr std::uint16_t kComRxQueueSize = 48000;
constexpr std::uint16_t kComClusterSize = 2;

// The COM link: the protocol's exchanges over the serial port component, on the main thread,
// and the receive ring that the component's chunks are appended to.
class ComLink {
public:
    ComLink(SerialPort* serial, Waits& waits, DebugLog& log, DialogService& dialogs);

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

    // Appends the component's queued chunk to the ring (the component's chunk event).
    void RxClusterReceived();

    // The discovery probe's reply: more than 200 characters, the sixth of them "1".
    bool DiscoveryReplyOK() const;

    bool portOpen() const { return m_serial && m_serial->Active(); }
    ComRxRing& ring() { return m_ring; }
    int RxCount() const { return m_ring.RxCount(); }
    RxErrorState& errors() { return m_errors; }

    bool LinkValid = false;
    bool Sampling = false;
    std::int32_t RxDataCount = 0;
    std::int32_t MaxRxData = 0;
    std::string PortName = "COM";

private:
    SerialPort* m_serial;
    Waits& m_waits;
    DebugLog& m_log;
    DialogService& m_dialogs;
    ComRxRing m_ring;
    RxErrorState m_errors;
};

} // namespace qarn3
