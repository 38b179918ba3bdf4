#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qarn3 {

constexpr std::size_t kCalImageSize = 128;

// What is wrong with a calibration image: a slice that is no number (Unreadable), or a number
// too large for its field or a sample count beyond the record's (DoesNotFit).
enum class CalImageFault { None, Unreadable, DoesNotFit };

// The outcome of reading a calibration image. The values are read in the image's order, the
// date first: each is present when it and every value before it were read, so a fault leaves
// the ones after it empty. The raw texts are what the calibration window shows of the image
// whatever the rest holds.
struct CalImageParse {
    std::array<std::string, 8> factorTexts; // factorTexts[r - 1] for range r = 1..8
    std::string avgTimeText;
    std::string serNumText;

    std::optional<std::int32_t> calDate;
    std::array<std::optional<float>, 8> factors;
    std::optional<std::int32_t> onThresh, mpuThresh, onDelay, offThresh, offDelay;
    std::optional<double> avgTime;          // the time, when it converts
    std::optional<std::int32_t> avgSamples; // its sample count, when that fits too
    std::string serNum;                     // padded to 10 characters, when all is read

    CalImageFault fault = CalImageFault::None;
    std::string faultField; // the record's name of the value at fault ("Factor3", "OnDelay")

    bool ok() const { return fault == CalImageFault::None; }
};

// Reads the first 128 characters of an image (a shorter one is padded with spaces); numbers
// use '.' whatever the locale. The averaging time's sample count is taken at sampleRate, or at
// 2400 samples per second when that is not positive.
CalImageParse parseCalImage(const std::string& image, double sampleRate);

} // namespace qarn3
