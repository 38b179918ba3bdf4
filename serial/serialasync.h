#pragma once

#include "serial/serialos.h"
#include "serial/serialport.h"
#include "serial/workthread.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qarn3 {

// The serial port component: one port, its worker thread and the queue of received chunks.
// Opening, closing, the settings and sending run on the main thread; the worker reads,
// watches the lines and finishes writes, and everything it sees reaches the main thread as
// queued calls, where the events and OnProcessError reports are raised.
class TSerialPortAsync : public QObject, public SerialPort {
    Q_OBJECT
public:
    explicit TSerialPortAsync(std::shared_ptr<SerialOs> os = std::make_shared<SystemSerialOs>(),
                              QObject* parent = nullptr);
    ~TSerialPortAsync() override;

    // --- opening and the line ---
    bool Active() const override { return m_fd >= 0; }
    void SetActive(bool active) override;
    int ComHandle() const { return m_fd; }
    std::string CommPort() const override { return m_commPort; }
    void SetCommPort(const std::string& name) override;
    std::uint32_t BaudRate() const { return m_baudRate; }
    void SetBaudRate(std::uint32_t baud) override;
    std::uint8_t ParityType() const { return m_parityType; }
    void SetParityType(std::uint8_t parity) override;
    char ParityErrorChar() const { return m_parityErrorChar; }
    void SetParityErrorChar(char c);
    bool ParityErrorReplacement() const { return m_parityErrorReplacement; }
    void SetParityErrorReplacement(bool on);
    std::uint8_t StopBits() const { return m_stopBits; }
    void SetStopBits(std::uint8_t stopBits) override;
    std::uint8_t DataBits() const { return m_dataBits; }
    void SetDataBits(std::uint8_t dataBits) override;
    char XONChar() const { return m_xonChar; }
    void SetXONChar(char c);
    char XOFFChar() const { return m_xoffChar; }
    void SetXOFFChar(char c);
    std::uint8_t XONLimDiv() const { return m_xonLimDiv; }
    void SetXONLimDiv(std::uint8_t percent);
    std::uint8_t XOFFLimDiv() const { return m_xoffLimDiv; }
    void SetXOFFLimDiv(std::uint8_t percent);
    std::uint32_t FlowControl() const { return m_flowControl; }
    void SetFlowControl(std::uint32_t flags) override;
    bool StripNullChars() const { return m_stripNullChars; }
    void SetStripNullChars(bool strip) override;
    char EventChar() const { return m_eventChar; }
    void SetEventChar(char c);

    // --- time-outs and chunking ---
    std::uint32_t RTOCharDelayTime() const { return m_rtoCharDelayTime; }
    void SetRTOCharDelayTime(std::uint32_t us);
    std::uint16_t RTOExtraDelayTime() const { return m_rtoExtraDelayTime; }
    void SetRTOExtraDelayTime(std::uint16_t ms);
    std::uint32_t WTOCharDelayTime() const { return m_wtoCharDelayTime; }
    void SetWTOCharDelayTime(std::uint32_t us);
    std::uint16_t WTOExtraDelayTime() const { return m_wtoExtraDelayTime; }
    void SetWTOExtraDelayTime(std::uint16_t ms);
    bool XTOAuto() const { return m_xtoAuto; }
    void SetXTOAuto(bool automatic) override;
    std::uint16_t ClusterSize() const override { return m_clusterSize; }
    void SetClusterSize(std::uint16_t size) override;
    std::uint16_t RxQueueSize() const override { return m_rxQueueSize; }
    void SetRxQueueSize(std::uint16_t size) override;
    std::uint16_t TxQueueSize() const { return m_txQueueSize; }
    void SetTxQueueSize(std::uint16_t size);

    // --- modem lines ---
    bool RTSState() const { return m_rtsState; }
    void SetRTSState(bool on);
    bool DTRState() const { return m_dtrState; }
    void SetDTRState(bool on);
    bool BREAKState() const { return m_breakState; }
    void SetBREAKState(bool on);
    bool CTSState() const { return m_modemState & ms::Cts; }
    bool DSRState() const { return m_modemState & ms::Dsr; }
    bool RLSDState() const { return m_modemState & ms::Rlsd; }
    bool RingState() const { return m_modemState & ms::Ring; }

    // --- reports and status ---
    std::uint8_t ErrorNoise() const { return m_errorNoise; }
    void SetErrorNoise(std::uint8_t level) { m_errorNoise = level; }
    bool ReadRequest() const { return m_shared->readRequest; }
    void SetReadRequest(bool on) { m_shared->readRequest = on; }
    bool ThreadQuietMode() const { return m_shared->quiet; }
    void SetThreadQuietMode(bool on) { m_shared->quiet = on; }
    bool SendInProgress() const override { return m_shared->sendInProgress; }
    std::uint32_t CommError() const override { return m_status.error; }
    std::uint32_t CommStateFlags() const { return m_status.flags; }
    std::uint32_t CommStateInQueue() const { return m_status.inQueue; }
    std::uint32_t CommStateOutQueue() const { return m_status.outQueue; }
    std::uint32_t ModemState() const { return m_modemState; }
    std::uint32_t CommEvent() const { return m_commEvent; }
    std::uint32_t WrittenBytes() const { return m_writtenBytes; }

    // --- sending and the chunk queue ---
    bool SendString(const std::string& text) override;
    bool SendData(const std::uint8_t* data, std::size_t n);
    void ClearRxDQueue() override;
    void ClearTxDQueue() override;
    int NextClusterSize() const override;
    std::int64_t NextClusterCCError() const override;
    bool TakeCluster(TSerialCluster& out) override;
    std::uint64_t DroppedBytes() const override;
    // Removes the oldest chunk and returns its data; size and error -1 and no data when empty.
    std::vector<std::uint8_t> ReadNextCluster(int& size, std::int64_t& error);

    // Events, raised on the main thread in this order of declaration.
    TNotifyEvent OnCommEvent, OnCommStat, OnTxQueueEmptyEvent, OnWriteDone, OnBreakEvent,
        OnCTSEvent, OnDSREvent, OnLineErrorEvent, OnRingEvent, OnRIEvent, OnRLSDEvent;
    // (OnRxClusterEvent is declared by SerialPort.)
    TNotifyEvent OnRxCharEvent, OnRxEventCharEvent;
    // (OnProcessError is declared by SerialPort.)

private:
    void report(std::uint32_t place, std::uint32_t code, const std::string& msg,
                std::uint8_t noise = 0);
    void openPort();
    void closePort(bool hungUp);
    void applySettings();
    void applyIfOpen() {
        if (Active()) applySettings();
    }
    void setLine(int bit, bool on, std::uint32_t setPlace, std::uint32_t clearPlace,
                 const char* what);
    void autoCharTimes();
    void deliver(WorkerNews& news);
    void dispatch(std::uint32_t bits);
    void raise(const TNotifyEvent& event);
    void cancelWrite();

    std::shared_ptr<SerialShared> m_shared;
    std::unique_ptr<TWorkThread> m_worker;
    int m_fd = -1;
    unsigned m_generation = 0;

    std::string m_commPort = "COM2";
    std::uint32_t m_baudRate = 9600;
    std::uint8_t m_parityType = 0;
    char m_parityErrorChar = 0;
    bool m_parityErrorReplacement = false;
    std::uint8_t m_stopBits = 0;
    std::uint8_t m_dataBits = 8;
    char m_xonChar = 17;
    char m_xoffChar = 19;
    std::uint8_t m_xonLimDiv = 33;
    std::uint8_t m_xoffLimDiv = 33;
    std::uint32_t m_flowControl = 0;
    bool m_stripNullChars = false;
    char m_eventChar = 0;
    std::uint32_t m_rtoCharDelayTime = 1100;
    std::uint16_t m_rtoExtraDelayTime = 250;
    std::uint32_t m_wtoCharDelayTime = 1100;
    std::uint16_t m_wtoExtraDelayTime = 250;
    bool m_xtoAuto = true;
    std::uint16_t m_clusterSize = 3072;
    std::uint16_t m_rxQueueSize = 4096;
    std::uint16_t m_txQueueSize = 4096;
    bool m_rtsState = true;
    bool m_dtrState = true;
    bool m_breakState = false;
    std::uint8_t m_errorNoise = 255;
    CommStatus m_status;
    std::uint32_t m_modemState = 0;
    std::uint32_t m_commEvent = 0;
    std::uint32_t m_writtenBytes = 0;
    int m_lastWriteError = 0;
    bool m_destroying = false;
};

// The automatic character time for a baud rate, in microseconds.
std::uint32_t autoCharTime(std::uint32_t baudRate);

} // namespace qarn3
