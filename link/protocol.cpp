#include "link/protocol.h"

namespace qarn3 {

namespace {
std::string hex4(std::uint16_t id) {
    static const char* const kHex = "0123456789abcdef";
    std::string s;
    for (int shift = 12; shift >= 0; shift -= 4)
        s += kHex[(id >> shift) & 15];
    return s;
}
} // namespace

const std::string kUsbDevice =
    "vid_" + hex4(kAnalyzerVendorId) + "&pid_" + hex4(kAnalyzerProductId);
const std::string kAnalyzerUsbDevice =
    "Vid_" + hex4(kAnalyzerVendorId) + "&Pid_" + hex4(kAnalyzerProductId);

std::uint8_t rangeCode(int rangeIndex) {
    if (rangeIndex < 1) rangeIndex = 1;
    if (rangeIndex > 8) rangeIndex = 8;
    return static_cast<std::uint8_t>(0x38 - rangeIndex);
}

void encodeSample(int count, bool phase, std::uint8_t& first, std::uint8_t& second) {
    const int raw = (count + 2048) & 0xFFC;
    const std::uint8_t phaseBit = phase ? 0x02 : 0x00;
    first = static_cast<std::uint8_t>((raw & 0xFC) | phaseBit);
    second = static_cast<std::uint8_t>(((raw >> 6) & 0x3C) | phaseBit | 0x01);
}

std::string calImageForSending(const std::string& image) {
    std::string s = image.substr(0, image.find('\0'));
    if (s.size() > static_cast<std::size_t>(kCalImageLength)) s.resize(kCalImageLength);
    return s;
}

std::string calWriteString(const std::string& image) {
    std::string s;
    s += static_cast<char>(cmd::StopSampling);
    s += static_cast<char>(cmd::WriteCalImage);
    s += calImageForSending(image);
    s += static_cast<char>(cmd::StopSampling);
    return s;
}

std::vector<std::uint8_t> usbCommandPacket(std::uint8_t command) {
    return {0x80, 3, command};
}

std::vector<std::uint8_t> usbStringPacket(const std::string& chunk) {
    std::vector<std::uint8_t> p;
    p.reserve(chunk.size() + 2);
    p.push_back(0xF0);
    p.push_back(static_cast<std::uint8_t>(chunk.size() + 2));
    p.insert(p.end(), chunk.begin(), chunk.end());
    return p;
}

} // namespace qarn3
