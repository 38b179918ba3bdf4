#include "engine/analysis_output.h"

#include "platform/textformat.h"
#include "waveform/waveform.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace qarn3 {

namespace {

constexpr const char* kCrLf = "\r\n";

// Length of the well-formed UTF-8 sequence that starts at s[i], or 0 when there is none.
std::size_t utf8Length(const std::string& s, std::size_t i) {
    const auto at = [&s](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's bounds
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // no overlong form
        if (lead == 0xED) high = 0x9F; // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;  // no overlong form
        if (lead == 0xF4) high = 0x8F; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + length > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return length;
}

// A JSON string's contents. File names are bytes: one that is not UTF-8 (a name from a
// Latin-1 system, say) would make the whole line unreadable to a JSON reader, so each byte
// outside a well-formed sequence becomes U+FFFD.
std::string jsonEscape(const std::string& s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t length = utf8Length(s, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
        } else if (length > 1) {
            out.append(s, i, length);
            i += length;
        } else {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            } else {
                out += static_cast<char>(c);
            }
            ++i;
        }
    }
    return out;
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    // The shortest text that reads back as the same value, always with '.', whatever the
    // process locale: rounded to the decimals shown, it gives the window's reading (six
    // significant digits could turn 3.0250001 cycles, shown as 3.03, into 3.025 and 3.02).
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The shortest text that reads back as the same single-precision value, with '.'.
std::string floatText(float v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string fixed(double v, int decimals) {
    return formatFixed(v, 0, decimals);
}

const char* flag01(bool b) {
    return b ? "1" : "0";
}

std::string csvRecord(const std::vector<std::string>& fields) {
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) s += ',';
        s += csvField(fields[i]);
    }
    return s + kCrLf;
}

// Text for a comment line: control characters (a line break in a name, say) become '?'.
std::string oneLine(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
}

// A text field of the file header, up to its terminating zero.
template <std::size_t N> std::string headerText(const std::array<char, N>& field) {
    return oneLine(std::string(field.data(), strnlen(field.data(), N)));
}

} // namespace

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string s = "\"";
    for (char c : text) {
        if (c == '"') s += '"';
        s += c;
    }
    return s + '"';
}

std::string csvHeader() {
    return csvRecord({"file", "pulse", "start_s", "current_a", "suspect", "seconds", "cycles",
                      "on_samples", "under_range", "cut_short", "ending", "end_s", "error"});
}

std::string csvRecords(const AnalysisResult& r) {
    if (!r.ok) return csvRecord({r.waveFile, "", "", "", "", "", "", "", "", "", "", "", r.error});
    const std::string ending = r.ending;
    const std::string endSeconds = fixed(r.endSeconds, 4);
    if (r.pulses.empty())
        return csvRecord({r.waveFile, "", "", "", "", "", "", "", "", "", ending, endSeconds, ""});
    std::string s;
    int n = 0;
    for (const AnalysisPulse& a : r.pulses) {
        const PulseResult& p = a.result;
        // The readings with the decimals the window shows them with.
        s += csvRecord({r.waveFile, std::to_string(++n), fixed(p.startSeconds, 4),
                        fixed(p.pulseAmps, r.currentDecimals), flag01(p.suspect),
                        fixed(p.seconds, 4), fixed(p.cycles, 2), std::to_string(p.onSamples),
                        flag01(p.underRange), flag01(p.cutShort), ending, endSeconds, ""});
    }
    return s;
}

std::string jsonLine(const AnalysisResult& r) {
    if (!r.ok)
        return "{\"file\": \"" + jsonEscape(r.waveFile) + "\", \"error\": \"" +
               jsonEscape(r.error) + "\"}\n";
    return formatAnalysisJson(r);
}

std::string textBlock(const AnalysisResult& r, bool withHeading) {
    if (!r.ok) return {};
    return (withHeading ? "==> " + r.waveFile + " <==\n" : std::string()) + formatAnalysisText(r);
}

std::string formatAnalysisText(const AnalysisResult& r) {
    std::string s;
    int n = 0;
    for (const AnalysisPulse& p : r.pulses) {
        s += "Pulse " + std::to_string(++n) + " at " +
             formatNumber("%8.4f", p.result.startSeconds) + " s: " + p.current + "  " + p.seconds +
             "  " + p.cycles + (p.result.underRange ? "  Underrange" : "") +
             (p.result.cutShort ? "  cut short by the MaxOn limit" : "") + "\n";
    }
    const std::string at = " at " + formatNumber("%.4f", r.endSeconds) + " s";
    if (r.ended)
        s += r.ending + at + "\n";
    else
        s += r.ending + at + ": " + r.notEndedReason + "\n";
    return s;
}

std::string formatAnalysisJson(const AnalysisResult& r) {
    auto flag = [](bool b) { return b ? "true" : "false"; };
    std::string s = "{\"file\": \"" + jsonEscape(r.waveFile) +
                    "\", \"range\": " + std::to_string(r.rangeIndex) +
                    ", \"testMode\": " + std::to_string(r.testMode) +
                    ", \"fullScaleAmps\": " + jsonNumber(r.fullScaleAmps) +
                    ", \"sampleRate\": " + jsonNumber(r.sampleRate) + ", \"pulses\": [";
    for (std::size_t i = 0; i < r.pulses.size(); ++i) {
        const PulseResult& p = r.pulses[i].result;
        s += std::string(i ? ", " : "") + "{\"start\": " + jsonNumber(p.startSeconds) +
             ", \"amps\": " + jsonNumber(p.pulseAmps) + ", \"current\": \"" +
             jsonEscape(trimText(r.pulses[i].current)) + "\", \"suspect\": " + flag(p.suspect) +
             ", \"seconds\": " + jsonNumber(p.seconds) + ", \"cycles\": " + jsonNumber(p.cycles) +
             ", \"onSamples\": " + std::to_string(p.onSamples) +
             ", \"underRange\": " + flag(p.underRange) + ", \"cutShort\": " + flag(p.cutShort) +
             "}";
    }
    s += "], \"ending\": \"" + jsonEscape(r.ending) + "\", \"ended\": " + flag(r.ended);
    if (!r.ended)
        s += ", \"notEndedReason\": \"" + jsonEscape(r.notEndedReason) +
             "\", \"pulseOn\": " + flag(r.pulseOn);
    s += ", \"endSeconds\": " + jsonNumber(r.endSeconds) + "}\n";
    return s;
}

std::string waveformCsv(const std::string& fileName, const TWaveformData& wave,
                        long long fileBytes) {
    // The samples a demonstration plays: the reader keeps the last of SampleCount at zero.
    const int count = std::max(0, wave.SampleCount - 1);
    const long long inFile =
        std::max(0LL, (fileBytes - static_cast<long long>(kWaveHeaderSize)) / 2);
    std::string s;
    s.reserve(static_cast<std::size_t>(count) * 24 + 512);
    s += "# file: " + oneLine(fileName) + kCrLf;
    s += "# serial/ID: " + headerText(wave.Header.SerialId) + kCrLf;
    s += "# wave type: " + oneLine(std::string(1, wave.Header.WaveType)) + kCrLf;
    s += "# sample rate: " + floatText(static_cast<float>(wave.SampleRate)) + " samples/s" + kCrLf;
    s += "# amperes per count: " + floatText(wave.AmpsPerCount) + kCrLf;
    s += "# samples: " + std::to_string(count);
    if (inFile < count)
        s += " (the file holds " + std::to_string(inFile) + "; the rest read as zero)";
    s += kCrLf;
    s += "time_s,current_a";
    s += kCrLf;
    const double rate = wave.SampleRate > 0 ? wave.SampleRate : 2400;
    for (int i = 0; i < count; ++i) {
        const float amps =
            static_cast<float>(wave.Samples[static_cast<std::size_t>(i)]) * wave.AmpsPerCount;
        s += fixed(i / rate, 6);
        s += ',';
        s += floatText(amps + 0.0f); // no "-0" for a zero sample with a negative factor
        s += kCrLf;
    }
    return s;
}

std::string jsonEscaped(const std::string& s) {
    return jsonEscape(s);
}

std::string jsonNumberText(double v) {
    return jsonNumber(v);
}

} // namespace qarn3
