#include "calsetup/calimage.h"

#include "platform/textformat.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace qarn3 {

namespace {

struct Slice {
    std::size_t offset, length, keep;
};
constexpr Slice factorSlice(int i) {
    return {static_cast<std::size_t>(i) * 10, 10, 8};
}
constexpr Slice kOnThresh{80, 4, 2};
constexpr Slice kMPUThresh{84, 5, 3};
constexpr Slice kOnDelay{89, 4, 2};
constexpr Slice kOffThresh{93, 4, 2};
constexpr Slice kOffDelay{97, 4, 2};
constexpr Slice kAvgTime{101, 8, 6};
constexpr Slice kSerNum{109, 12, 10};
constexpr Slice kCalDate{121, 7, 5};

struct WholeField {
    const char* name;
    Slice slice;
    std::optional<std::int32_t> CalImageParse::*value;
};
constexpr WholeField kWholeFields[] = {{"OnThresh", kOnThresh, &CalImageParse::onThresh},
                                       {"MPUThresh", kMPUThresh, &CalImageParse::mpuThresh},
                                       {"OnDelay", kOnDelay, &CalImageParse::onDelay},
                                       {"OffThresh", kOffThresh, &CalImageParse::offThresh},
                                       {"OffDelay", kOffDelay, &CalImageParse::offDelay}};

std::string padded(const std::string& t, std::size_t width) {
    std::string s = t;
    s.resize(width, ' ');
    return s;
}

std::string rawText(const std::string& image, Slice s) {
    return trimText(image.substr(s.offset, s.length));
}

std::string sliceText(const std::string& image, Slice s) {
    std::string t = rawText(image, s);
    if (t.size() > s.keep) t.resize(s.keep);
    return t;
}

// A real number of the image. A well-formed number too large for any real type ("1e400") is
// still a number, only too large for its field: that is not a conversion error.
double realOf(const std::string& text, const char* field) {
    try {
        return parseReal(text);
    } catch (const ConvertError&) {
        std::size_t i = text.find_first_not_of("+-") == 1 ? 1 : 0;
        double v = 0;
        const auto r = std::from_chars(text.data() + i, text.data() + text.size(), v,
                                       std::chars_format::general);
        const auto e = text.find_first_of("eE");
        const bool overflow = r.ec == std::errc::result_out_of_range &&
                              r.ptr == text.data() + text.size() && e != std::string::npos &&
                              text.compare(e + 1, 1, "-") != 0;
        if (overflow) throw std::out_of_range(field);
        throw;
    }
}

// Reads the values in the image's order, naming in field the one being read: a conversion
// fault throws ConvertError, a value that does not fit throws std::out_of_range.
void readValues(const std::string& image, double sampleRate, CalImageParse& p, std::string& field) {
    field = "CalDate";
    p.calDate = parseInteger(padded(sliceText(image, kCalDate), 5));
    for (int i = 0; i < 8; ++i) {
        field = "Factor" + std::to_string(i + 1);
        const double factor = realOf(sliceText(image, factorSlice(i)), "Factor");
        // Beyond the single-precision range the factor does not fit its field.
        if (!(std::fabs(factor) <= std::numeric_limits<float>::max()))
            throw std::out_of_range("Factor");
        p.factors[static_cast<std::size_t>(i)] = static_cast<float>(factor);
    }
    for (const WholeField& f : kWholeFields) {
        field = f.name;
        p.*f.value = parseInteger(sliceText(image, f.slice));
    }
    field = "AvgTime";
    p.avgTime = realOf(sliceText(image, kAvgTime), "AvgTime");
    field = "AvgSamples";
    const double rate = sampleRate > 0 ? sampleRate : 2400;
    // A time whose sample count overflows is kept out of the record altogether.
    const double avg = std::round(rate * *p.avgTime);
    if (!(avg >= std::numeric_limits<std::int32_t>::min() &&
          avg <= std::numeric_limits<std::int32_t>::max()))
        throw std::out_of_range("AvgSamples");
    p.avgSamples = static_cast<std::int32_t>(avg);
    p.serNum = padded(sliceText(image, kSerNum), 10);
}

} // namespace

CalImageParse parseCalImage(const std::string& calImage, double sampleRate) {
    const std::string image = padded(calImage, kCalImageSize);
    CalImageParse p;
    for (int i = 0; i < 8; ++i)
        p.factorTexts[static_cast<std::size_t>(i)] = rawText(image, factorSlice(i));
    p.avgTimeText = rawText(image, kAvgTime);
    p.serNumText = rawText(image, kSerNum);
    std::string field;
    try {
        readValues(image, sampleRate, p, field);
        field.clear();
    } catch (const ConvertError&) {
        p.fault = CalImageFault::Unreadable;
    } catch (const std::out_of_range&) {
        p.fault = CalImageFault::DoesNotFit;
    }
    p.faultField = field;
    return p;
}

} // namespace qarn3
