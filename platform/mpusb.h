#pragma once

#include <cstdint>
#include <string>

namespace qarn3 {

// Handle of an open USB pipe; kInvalidPipe when closed or when an open failed.
using MpusbHandle = std::int64_t;
constexpr MpusbHandle kInvalidPipe = -1;

// The calls of the analyzer's USB library, with the same arguments and results. The program
// reaches the analyzer only through these; the libusb layer and the simulated analyzer
// implement them. (The library's own names start with an underscore, which C++ reserves.)
class MpusbApi {
public:
    virtual ~MpusbApi() = default;
    // Number of attached devices matching the device string ("vid_04d8&pid_fdcf").
    virtual std::uint32_t MPUSBGetDeviceCount(const char* device) = 0;
    // Opens a pipe; direction 0 writes to the analyzer, 1 reads from it.
    virtual MpusbHandle MPUSBOpen(std::uint32_t instance, const char* device, const char* endpoint,
                                  std::uint32_t direction, std::uint32_t reserved) = 0;
    // Non-zero when the packet was sent.
    virtual std::uint32_t MPUSBWrite(MpusbHandle handle, const std::uint8_t* data,
                                     std::uint32_t length, std::uint32_t* sent,
                                     std::uint32_t timeoutMs) = 0;
    // Non-zero when a packet arrived within the time-out; its length goes to *received.
    virtual std::uint32_t MPUSBRead(MpusbHandle handle, std::uint8_t* data, std::uint32_t length,
                                    std::uint32_t* received, std::uint32_t timeoutMs) = 0;
    virtual void MPUSBClose(MpusbHandle handle) = 0;
    // Advice for the operator about the last failure they can mend themselves (no permission
    // to use the device); empty when there is none. Taking it clears it.
    virtual std::string takeProblem() { return {}; }
};

} // namespace qarn3
