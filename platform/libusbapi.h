#pragma once

#include "platform/mpusb.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct libusb_context;

namespace qarn3 {

// Vendor and product ids named by a device string such as "vid_04d8&pid_fdcf" (any case).
struct UsbIds {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const UsbIds&) const = default;
};
std::optional<UsbIds> parseUsbDeviceString(const std::string& device);

// Endpoint number named by an endpoint string such as "\MCHP_EP1" (any case, 1..15).
std::optional<int> parseUsbEndpointString(const std::string& endpoint);

// What the operator is told when the analyzer is attached but this user may not open it.
extern const char* const kUsbAccessAdvice;

// The analyzer's USB library calls over libusb-1.0.
//
// Devices are numbered (the instance) by bus and port path, so the numbers stay the same while
// the devices stay plugged. The two pipes of one device share one open device with interface 0
// claimed once (a kernel driver bound to it is detached, and re-attached when the last pipe
// closes). Each pipe moves packets on its endpoint (out for direction 0, in for 1) with the
// transfer type the endpoint declares. Time-outs are in milliseconds and 0 is the shortest
// wait, never "forever". A read takes one packet of up to 64 bytes; what arrived before a
// time-out counts. Once a device is unplugged its handles stay invalid and every call on them
// fails at once. Calls may come from several threads; a pipe may be closed while another
// thread still reads it (the device is released after that read).
class LibusbMpusb : public MpusbApi {
public:
    LibusbMpusb();
    ~LibusbMpusb() override;
    LibusbMpusb(const LibusbMpusb&) = delete;
    LibusbMpusb& operator=(const LibusbMpusb&) = delete;

    std::uint32_t MPUSBGetDeviceCount(const char* device) override;
    MpusbHandle MPUSBOpen(std::uint32_t instance, const char* device, const char* endpoint,
                          std::uint32_t direction, std::uint32_t reserved) override;
    std::uint32_t MPUSBWrite(MpusbHandle handle, const std::uint8_t* data, std::uint32_t length,
                             std::uint32_t* sent, std::uint32_t timeoutMs) override;
    std::uint32_t MPUSBRead(MpusbHandle handle, std::uint8_t* data, std::uint32_t length,
                            std::uint32_t* received, std::uint32_t timeoutMs) override;
    void MPUSBClose(MpusbHandle handle) override;
    std::string takeProblem() override;

    // Pipes open now (tests).
    std::size_t openPipes() const;

    struct Device;
    struct Pipe;

private:
    std::shared_ptr<Pipe> pipe(MpusbHandle handle) const;
    libusb_context* context();
    void report(const std::string& problem);

    std::once_flag m_started;
    libusb_context* m_context = nullptr;
    mutable std::mutex m_lock;
    MpusbHandle m_nextHandle = 1;
    std::map<MpusbHandle, std::shared_ptr<Pipe>> m_pipes;
    std::map<std::string, std::weak_ptr<Device>> m_devices; // by bus and port path
    std::string m_problem;
};

} // namespace qarn3
