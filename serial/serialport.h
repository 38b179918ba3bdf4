#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qarn3 {

// One received chunk with the line error code seen when it was read.
struct TSerialCluster {
    std::vector<std::uint8_t> data;
    std::uint32_t lineError = 0;
};

class SerialPort;

// Place codes of the component's reports that callers look for.
namespace serialplace {
constexpr std::uint32_t LimitWarning = 100;
constexpr std::uint32_t OpenFailed = 112;
constexpr std::uint32_t SendWhileBusy = 901;
constexpr std::uint32_t HungUp = 9920;
} // namespace serialplace

// The component's events take the component as sender.
using TNotifyEvent = std::function<void(SerialPort& sender)>;
using TNotifyErrorEvent =
    std::function<void(SerialPort& sender, std::uint32_t Place, std::uint32_t Code,
                       const std::string& Msg, std::uint8_t Noise)>;

// The serial port component as the COM link sees it: line settings, open and close, sending
// strings and a queue of received chunks announced on the main thread.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool Active() const = 0;
    virtual void SetActive(bool active) = 0; // opens or closes the port
    virtual std::string CommPort() const = 0;
    virtual void SetCommPort(const std::string& name) = 0;
    virtual void SetBaudRate(std::uint32_t baud) = 0;
    virtual void SetParityType(std::uint8_t parity) = 0;
    virtual void SetStopBits(std::uint8_t stopBits) = 0;
    virtual void SetDataBits(std::uint8_t dataBits) = 0;
    virtual void SetFlowControl(std::uint32_t flags) = 0;
    virtual void SetStripNullChars(bool strip) = 0;
    virtual void SetXTOAuto(bool automatic) = 0;
    virtual std::uint16_t RxQueueSize() const = 0;
    virtual void SetRxQueueSize(std::uint16_t size) = 0;
    virtual std::uint16_t ClusterSize() const = 0;
    virtual void SetClusterSize(std::uint16_t size) = 0;
    // Line error bits of the last status poll.
    virtual std::uint32_t CommError() const = 0;

    virtual bool SendInProgress() const = 0;
    // Sends the text; refused (false, report 901) while a send is pending.
    virtual bool SendString(const std::string& text) = 0;
    virtual void ClearRxDQueue() = 0; // empties the driver's receive queue
    virtual void ClearTxDQueue() = 0; // empties the driver's transmit queue

    // Size of the next queued chunk, -1 when none is queued.
    virtual int NextClusterSize() const = 0;
    // Line error code of the next queued chunk, -1 when none is queued.
    virtual std::int64_t NextClusterCCError() const = 0;
    // Takes the next queued chunk; false when none is queued.
    virtual bool TakeCluster(TSerialCluster& out) = 0;
    // Received bytes dropped since the component was made because the chunk queue was full
    // (the main thread did not keep up).
    virtual std::uint64_t DroppedBytes() const = 0;

    // Called on the main thread for each chunk queued.
    TNotifyEvent OnRxClusterEvent;
    // Called on the main thread with the component's reports.
    TNotifyErrorEvent OnProcessError;
};

} // namespace qarn3
