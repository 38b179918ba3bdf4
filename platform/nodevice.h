#pragma once

#include "platform/mpusb.h"

namespace qarn3 {

// The USB library with no analyzer attached: no device, every call fails.
class NoDeviceMpusb : public MpusbApi {
public:
    std::uint32_t MPUSBGetDeviceCount(const char*) override { return 0; }
    MpusbHandle MPUSBOpen(std::uint32_t, const char*, const char*, std::uint32_t,
                          std::uint32_t) override {
        return kInvalidPipe;
    }
    std::uint32_t MPUSBWrite(MpusbHandle, const std::uint8_t*, std::uint32_t, std::uint32_t*,
                             std::uint32_t) override {
        return 0;
    }
    std::uint32_t MPUSBRead(MpusbHandle, std::uint8_t*, std::uint32_t, std::uint32_t*,
                            std::uint32_t) override {
        return 0;
    }
    void MPUSBClose(MpusbHandle) override {}
};

} // namespace qarn3
