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

    virtual bool SendInProgress() const = 0;
    // Queues the text for sending; refused (false, error 901 reported) while a send is pending.
    virtual bool SendString(const std::string& text) = 0;
    virtual void PurgeRx() = 0; // empties the driver's receive queue
    virtual void PurgeTx() = 0; // empties the driver's transmit queue

    // Size of the next queued chunk, -1 when none is queued.
    virtual int NextClusterSize() const = 0;
    // Takes the next queued chunk; false when none is queued.
    virtual bool TakeCluster(TSerialCluster& out) = 0;

    // Called on the main thread whenever chunks have been queued.
    std::function<void()> OnRxClusterEvent;
    // Called on the main thread with the component's error messages.
    std::function<void(std::uint32_t place, std::uint32_t code, const std::string& msg,
                       std::uint8_t noise)>
        OnProcessError;
};

} // namespace qarn3
