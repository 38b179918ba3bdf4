#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace qarn3 {

// Command bytes from the program to the analyzer.
namespace cmd {
constexpr std::uint8_t StartSampling = 0x01;
constexpr std::uint8_t SendCalImage = 0x03;
constexpr std::uint8_t StopSampling = 0x04;
constexpr std::uint8_t WriteCalImage = 0x05; // follows 0x04 in the calibration write
constexpr std::uint8_t CarriageReturn = 0x0D;
constexpr std::uint8_t DiscoveryProbe = 0x14;
constexpr std::uint8_t ResetAnalyzer = 0x1A;
} // namespace cmd

// The analyzer's USB vendor and product ids, and the two ways the program names its device.
constexpr std::uint16_t kAnalyzerVendorId = 0x04d8;
constexpr std::uint16_t kAnalyzerProductId = 0xfdcf;
// As the USB library names a device: "vid_04d8&pid_fdcf".
extern const std::string kUsbDevice;
// As the device store keys a USB device: "Vid_04d8&Pid_fdcf".
extern const std::string kAnalyzerUsbDevice;

constexpr const char* kTestString = "A\r";
constexpr int kCalImageLength = 128;
constexpr int kCharsPerSecond = 4800;
constexpr int kSamplesPerSecond = 2400;

// Range select byte: 0x38 minus the range index (1 the smallest range .. 8 the largest).
// An index outside 1..8 is clamped into it.
std::uint8_t rangeCode(int rangeIndex);

// Decodes a pair whose framing is known to be good into a signed count (-2048 .. 2044).
constexpr int decodePair(std::uint8_t first, std::uint8_t second) {
    return (((second & 0x3C) << 6) | (first & 0xFC)) - 2048;
}

// The first character of a pair has bit 0 clear, the second has it set, and both carry the
// same phase bit 1. Inverse of decodePair for counts -2048..2044 in steps of 4.
void encodeSample(int count, bool phase, std::uint8_t& first, std::uint8_t& second);

// The calibration image as sent: up to its first NUL, at most 128 characters.
std::string calImageForSending(const std::string& image);

// The calibration write string: 0x04 0x05, the image, 0x04.
std::string calWriteString(const std::string& image);

// USB envelopes: a command packet 0x80, 3, byte.
std::vector<std::uint8_t> usbCommandPacket(std::uint8_t command);
// USB string packet 0xF0, n + 2, then n (1..62) characters.
constexpr int kUsbMaxStringChunk = 62;
std::vector<std::uint8_t> usbStringPacket(const std::string& chunk);

// Error kinds in RxErrorFlags.
namespace rxerr {
constexpr std::uint8_t FirstChar = 1;
constexpr std::uint8_t SecondChar = 2;
constexpr std::uint8_t CharMatch = 4;
constexpr std::uint8_t BufferMax = 8;
} // namespace rxerr

// Receive error counters of one link.
struct RxErrorState {
    // One more receive error: the count stops at its largest value rather than wrapping.
    void countError() {
        if (ErrorCount < std::numeric_limits<std::int32_t>::max()) ++ErrorCount;
    }

    std::int32_t ErrorCount = 0;
    std::uint8_t RxErrorFlags = 0;
    std::uint8_t BadFirstChar = 0;  // COM only
    std::uint8_t BadSecondChar = 0; // COM only
};

} // namespace qarn3
