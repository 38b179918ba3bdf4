#pragma once

#include "diag/waits.h"
#include "link/usblink.h"
#include "platform/mpusb.h"
#include "serial/serialport.h"
#include "support/fake_analyzer.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qarn3::test {

// Virtual time for the link sequences: each wait advances the clock and runs the pump, which
// lets the fake analyzer answer and the transports deliver, as message handling would.
class VirtualWaits : public Waits {
public:
    std::int64_t nowMs = 0;
    std::function<void()> pump;
    std::vector<std::string> calls; // "Busy 100", "Timer 300", "Shown 4000 caption"

    void BusyWait(int ms) override;
    int BusyWaitShown(int ms, const std::string& caption) override;
    void TimerWait(int ms) override;
    bool WaitActive() const override { return m_active; }

    // Advances the clock by ms in 10 ms steps, pumping after each.
    void run(int ms);

private:
    bool m_active = false;
};

// The USB library's calls in front of a fake analyzer.
class FakeMpusb : public MpusbApi {
public:
    explicit FakeMpusb(FakeAnalyzer& analyzer, VirtualWaits& clock)
        : m_analyzer(analyzer), m_clock(clock) {}

    bool present = true;
    bool openFails = false;
    bool writeFails = false;
    std::vector<std::vector<std::uint8_t>> packets; // every packet written
    int opens = 0;
    int closes = 0;
    // Packets queued to be read before the analyzer's own output (raw, headers included).
    std::deque<std::vector<std::uint8_t>> rawReads;

    std::uint32_t MPUSBGetDeviceCount(const char* device) override;
    MpusbHandle MPUSBOpen(std::uint32_t instance, const char* device, const char* endpoint,
                          std::uint32_t direction, std::uint32_t reserved) override;
    std::uint32_t MPUSBWrite(MpusbHandle handle, const std::uint8_t* data, std::uint32_t length,
                             std::uint32_t* sent, std::uint32_t timeoutMs) override;
    std::uint32_t MPUSBRead(MpusbHandle handle, std::uint8_t* data, std::uint32_t length,
                            std::uint32_t* received, std::uint32_t timeoutMs) override;
    void MPUSBClose(MpusbHandle handle) override;

private:
    FakeAnalyzer& m_analyzer;
    VirtualWaits& m_clock;
    MpusbHandle m_next = 100;
};

// A reader that the pump runs synchronously instead of a thread.
class SteppedReader : public UsbReaderControl {
public:
    bool running = false;
    int starts = 0;
    void ensureRunning() override {
        if (!running) ++starts;
        running = true;
    }
    void requestStop() override { running = false; }
};

// The serial port component in front of a fake analyzer.
class FakeSerialPort : public SerialPort {
public:
    FakeSerialPort(FakeAnalyzer& analyzer, VirtualWaits& clock)
        : m_analyzer(analyzer), m_clock(clock) {}

    bool openFails = false;
    std::string deadPort;  // a port of this name does not open
    int sendBusyPolls = 0; // SendInProgress answers true this many times
    std::vector<std::string> sent;
    std::size_t chunkLimit = 4096;
    std::uint32_t nextLineError = 0;
    std::deque<TSerialCluster> queue;

    // Moves the analyzer's output into chunks and announces each.
    void deliver();

    bool Active() const override { return m_active; }
    void SetActive(bool active) override { m_active = active && !openFails && m_port != deadPort; }
    std::string CommPort() const override { return m_port; }
    void SetCommPort(const std::string& name) override { m_port = name; }
    void SetBaudRate(std::uint32_t baud) override { baudRate = baud; }
    void SetParityType(std::uint8_t) override {}
    void SetStopBits(std::uint8_t) override {}
    void SetDataBits(std::uint8_t) override {}
    void SetFlowControl(std::uint32_t) override {}
    void SetStripNullChars(bool) override {}
    void SetXTOAuto(bool) override {}
    std::uint16_t RxQueueSize() const override { return m_rxQueue; }
    void SetRxQueueSize(std::uint16_t size) override { m_rxQueue = size; }
    std::uint16_t ClusterSize() const override { return m_cluster; }
    void SetClusterSize(std::uint16_t size) override { m_cluster = size; }
    bool SendInProgress() const override;
    bool SendString(const std::string& text) override;
    std::uint32_t CommError() const override { return commError; }
    void ClearRxDQueue() override { m_analyzer.take(); }
    void ClearTxDQueue() override {}
    int NextClusterSize() const override;
    std::int64_t NextClusterCCError() const override;
    bool TakeCluster(TSerialCluster& out) override;
    std::uint64_t DroppedBytes() const override { return droppedBytes; }

    std::uint32_t baudRate = 0;
    std::uint64_t droppedBytes = 0; // what a full chunk queue dropped
    std::uint32_t commError = 0;

private:
    FakeAnalyzer& m_analyzer;
    VirtualWaits& m_clock;
    bool m_active = false;
    std::string m_port = "COM2";
    std::uint16_t m_rxQueue = 4096;
    std::uint16_t m_cluster = 3072;
    mutable int m_busyPolls = 0;
};

} // namespace qarn3::test
