#pragma once

#include "link/protocol.h"
#include "link/rxring.h"
#include "platform/mpusb.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace qarn3 {

class DebugLog;
class DialogService;
class RegistryView;
class Waits;

constexpr const char* kUsbEndpoint = "\\MCHP_EP1";
constexpr const char* kUsbSerial = "KXV0123456";
constexpr std::int32_t kReadLifeFull = 25;

// What the device store says about an attached analyzer.
struct TUSBPortInfo {
    std::string DeviceClass; // "Class"
    std::string Service;     // "Service"
};

// Where the USB link shows what it does: the "USB Test" window's status list, device box and
// refresh timer. The default shows nothing.
class UsbLinkView {
public:
    virtual ~UsbLinkView() = default;
    virtual void addStatus(const std::string& /*line*/) {}
    virtual void setDeviceText(const std::string& /*text*/) {}
    virtual void setTimerEnabled(bool /*on*/) {}
};

// Starts and stops whatever moves received packets into the ring (the reader thread).
class UsbReaderControl {
public:
    virtual ~UsbReaderControl() = default;
    // Make sure a reader runs (ReadLife is refilled by the caller).
    virtual void ensureRunning() = 0;
    // Ask the reader to stop; it ends by itself within one read. Never waits.
    virtual void requestStop() = 0;
    // Program exit: asks every reader to stop and waits at most bound for them to end; true
    // when none is left.
    virtual bool shutdown(std::chrono::milliseconds /*bound*/) { return true; }
};

// The USB link: the protocol's exchanges over the analyzer's USB library, on the main thread,
// and the receive ring its reader fills.
class UsbLink {
public:
    UsbLink(MpusbApi& api, Waits& waits, DebugLog& log, DialogService& dialogs);

    void setView(UsbLinkView* view) { m_view = view ? view : &m_nullView; }
    void setReader(UsbReaderControl* reader) { m_reader = reader; }
    // Where GetUSBPortInfo looks; without one it finds nothing.
    void setRegistry(const RegistryView* registry) { m_registry = registry; }

    bool DevicePresent();
    bool OpenUSB();
    void CloseUSB();
    void USBInitBuffer();
    bool USBSendCommand(std::uint8_t command);
    bool USBSendString(const std::string& text);
    void USBSendRange(int rangeIndex);
    void USBStartSampling();
    void USBStopSampling();
    // 1 no device, 2 open failed, 3 time-out, 4 wrong character, 5 passed.
    int USBTestComm();
    void USBSendCal(const std::string& image);
    bool USBReceiveCal(std::string& image);
    int GetSample() { return m_ring.GetSample(m_errors); }
    // Samples lost to a full ring (two characters each) and pairs rejected, since the link
    // was made.
    std::uint64_t dataErrors() const { return (m_ring.lost() + 1) / 2 + m_ring.rejected(); }
    // The device's class and service from the device store's key of that device and
    // instance; both empty when anything is missing.
    TUSBPortInfo GetUSBPortInfo(const std::string& device, const std::string& instance);

    // One read of the reader loop: a packet's data bytes go into the ring. False when nothing
    // arrived within the read's time-out. Called on the reader thread.
    bool readerPoll();

    UsbRxRing& ring() { return m_ring; }
    int RxCount() const { return m_ring.RxCount(); }
    RxErrorState& errors() { return m_errors; }

    bool LinkValid = false;
    bool Sampling = false;
    std::atomic<std::int32_t> ReadLife{kReadLifeFull};
    std::atomic<std::uint32_t> ReceivedChars{0};
    std::atomic<std::int32_t> RxDataCount{0};
    std::int32_t MaxRxData = 0;

    MpusbHandle writeHandle() const { return m_writeHandle; }
    MpusbHandle readHandle() const { return m_readHandle.load(); }
    MpusbApi& api() { return m_api; }
    DebugLog& log() { return m_log; }
    Waits& waits() { return m_waits; }
    UsbReaderControl* reader() { return m_reader; }
    UsbLinkView& view() { return *m_view; }

private:
    void logCount();
    void showDeviceText();
    void adviseOperator();

    MpusbApi& m_api;
    Waits& m_waits;
    DebugLog& m_log;
    DialogService& m_dialogs;
    UsbLinkView m_nullView;
    UsbLinkView* m_view = &m_nullView;
    UsbReaderControl* m_reader = nullptr;
    const RegistryView* m_registry = nullptr;
    std::string m_adviceShown; // what the library advised the operator, shown once

    MpusbHandle m_writeHandle = kInvalidPipe;
    std::atomic<MpusbHandle> m_readHandle{kInvalidPipe};
    UsbRxRing m_ring;
    RxErrorState m_errors;
};

} // namespace qarn3
