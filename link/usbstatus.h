#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qarn3 {

class UsbLink;

// What the "USB Test" window shows after one tick of its 200 ms timer.
struct UsbStatusTick {
    std::string errorCount;
    std::string rxDataCount;
    std::string maxRxData;
    std::string elapsed;
    std::vector<std::string> lines; // added to the status list, in order
};

// One tick: shows the counters, raises MaxRxData, lists the receive error kinds seen since
// the last tick (then clears them) and the elapsed stream time.
UsbStatusTick USBTimerTick(UsbLink& link, char decimalSeparator);

// The stream time of a received character count at 4800 characters a second, "%8.4f sec".
std::string usbElapsedText(std::uint32_t receivedChars, char decimalSeparator);

} // namespace qarn3
