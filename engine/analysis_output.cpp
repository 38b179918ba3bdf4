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

// The fields, and after them those of more (the cycle columns).
std::string csvRecord(const std::vector<std::string>& fields,
                      const std::vector<std::string>& more = {}) {
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) s += ',';
        s += csvField(fields[i]);
    }
    for (const std::string& field : more)
        s += ',' + csvField(field);
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

// The columns --cycles adds after the pulse table's: one record per cycle of the pulse, with
// the pulse's totals repeated on each.
const std::vector<std::string> kCycleCsvColumns = {
    "cycle",         "cycle_start_s",    "cycle_rms_a",   "cycle_peak_pos_a", "cycle_peak_neg_a",
    "cycle_i2t_a2s", "cycle_i2t_pct",    "cycle_partial", "span_rms_a",       "span_peak_a",
    "span_i2t_a2s",  "first_peak_ratio", "mains_hz"};

// The cycle columns of a record: with --cycles, cycle i of the pulse's table with the
// decimals the viewer shows them with, or empty fields where there is no such cycle; without
// it, none.
std::vector<std::string> cycleCsvFields(bool withCycles, const AnalysisPulse* a = nullptr,
                                        std::size_t i = 0) {
    if (!withCycles) return {};
    if (!a || !a->cycleTable || i >= a->cycleTable->rows.size())
        return std::vector<std::string>(kCycleCsvColumns.size());
    const CycleTable& t = *a->cycleTable;
    const CycleRow& c = t.rows[i];
    const CycleTotals& s = t.totals;
    return {std::to_string(i + 1),
            fixed(c.start, 4),
            fixed(c.rms, 4),
            fixed(c.peakPos, 4),
            fixed(c.peakNeg, 4),
            fixed(c.i2t, 4),
            fixed(c.share * 100, 2),
            flag01(c.partial),
            fixed(s.rms, 4),
            fixed(s.peak, 4),
            fixed(s.i2t, 4),
            fixed(s.firstPeakRatio, 4),
            std::to_string(static_cast<int>(t.mainsHz))};
}

std::string cycleTableJson(const CycleTable& t) {
    auto flag = [](bool b) { return b ? "true" : "false"; };
    const CycleTotals& s = t.totals;
    std::string j =
        "{\"mainsHz\": " + jsonNumberText(t.mainsHz) + ", \"rms\": " + jsonNumberText(s.rms) +
        ", \"peak\": " + jsonNumberText(s.peak) + ", \"i2t\": " + jsonNumberText(s.i2t) +
        ", \"firstPeakRatio\": " + jsonNumberText(s.firstPeakRatio) +
        ", \"seconds\": " + jsonNumberText(s.seconds) + ", \"cycles\": [";
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        const CycleRow& c = t.rows[i];
        j += std::string(i ? ", " : "") + "{\"cycle\": " + std::to_string(i + 1) +
             ", \"start\": " + jsonNumberText(c.start) +
             ", \"samples\": " + std::to_string(c.count) + ", \"rms\": " + jsonNumberText(c.rms) +
             ", \"peakPos\": " + jsonNumberText(c.peakPos) +
             ", \"peakNeg\": " + jsonNumberText(c.peakNeg) + ", \"i2t\": " + jsonNumberText(c.i2t) +
             ", \"share\": " + jsonNumberText(c.share) + ", \"partial\": " + flag(c.partial) + "}";
    }
    return j + "]}";
}

// The table under a pulse's line in the text form.
std::string cycleTableText(const CycleTable& t) {
    std::string s = "  cycle   start s       rms A     +peak A     -peak A   i2t %\n";
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        const CycleRow& c = t.rows[i];
        s += formatNumber("%7.0f", static_cast<double>(i + 1)) + formatNumber("%10.4f", c.start) +
             formatNumber("%12.4f", c.rms) + formatNumber("%12.4f", c.peakPos) +
             formatNumber("%12.4f", c.peakNeg) + formatNumber("%8.2f", c.share * 100) +
             (c.partial ? "  partial" : "") + "\n";
    }
    const CycleTotals& u = t.totals;
    return s + "  RMS " + fixed(u.rms, 4) + " A, peak " + fixed(u.peak, 4) + " A, I2t " +
           fixed(u.i2t, 4) + " A2s, first peak / (sqrt 2 x RMS) " + fixed(u.firstPeakRatio, 4) +
           ", " + std::to_string(static_cast<int>(t.mainsHz)) + " Hz cycles\n";
}

} // namespace

std::string csvHeader(bool withCycles) {
    return csvRecord({"file", "pulse", "start_s", "current_a", "suspect", "seconds", "cycles",
                      "on_samples", "under_range", "cut_short", "ending", "end_s", "error"},
                     withCycles ? kCycleCsvColumns : std::vector<std::string>{});
}

std::string csvRecords(const AnalysisResult& r, bool withCycles) {
    if (!r.ok)
        return csvRecord({r.waveFile, "", "", "", "", "", "", "", "", "", "", "", r.error},
                         cycleCsvFields(withCycles));
    const std::string ending = r.ending;
    const std::string endSeconds = fixed(r.endSeconds, 4);
    if (r.pulses.empty())
        return csvRecord({r.waveFile, "", "", "", "", "", "", "", "", "", ending, endSeconds, ""},
                         cycleCsvFields(withCycles));
    std::string s;
    int n = 0;
    for (const AnalysisPulse& a : r.pulses) {
        const PulseResult& p = a.result;
        ++n;
        // One record, or with --cycles one a cycle of the pulse's table.
        const std::size_t records =
            withCycles && a.cycleTable ? std::max<std::size_t>(1, a.cycleTable->rows.size()) : 1;
        for (std::size_t c = 0; c < records; ++c)
            // The readings with the decimals the window shows them with.
            s += csvRecord({r.waveFile, std::to_string(n), fixed(p.startSeconds, 4),
                            fixed(p.pulseAmps, r.currentDecimals), flag01(p.suspect),
                            fixed(p.seconds, 4), fixed(p.cycles, 2), std::to_string(p.onSamples),
                            flag01(p.underRange), flag01(p.cutShort), ending, endSeconds, ""},
                           cycleCsvFields(withCycles, &a, c));
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
    // Text is read on a terminal: a name's control characters are shown, not obeyed.
    return (withHeading ? "==> " + escapeControls(r.waveFile) + " <==\n" : std::string()) +
           formatAnalysisText(r);
}

std::string formatAnalysisText(const AnalysisResult& r) {
    std::string s;
    int n = 0;
    for (const AnalysisPulse& p : r.pulses) {
        s += "Pulse " + std::to_string(++n) + " at " +
             formatNumber("%8.4f", p.result.startSeconds) + " s: " + p.current + "  " + p.seconds +
             "  " + p.cycles + (p.result.underRange ? "  Underrange" : "") +
             (p.result.cutShort ? "  cut short by the MaxOn limit" : "") + "\n";
        if (p.cycleTable) s += cycleTableText(*p.cycleTable);
    }
    // A recording measured on a range too small for it: the readings rest on clipped samples.
    if (r.clippedSamples > 0)
        s += "Note: " + std::to_string(r.clippedSamples) +
             " samples over the range, clipped at 2047 counts\n";
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
                    ", \"fullScaleAmps\": " + jsonNumberText(r.fullScaleAmps) +
                    ", \"sampleRate\": " + jsonNumberText(r.sampleRate) + ", \"pulses\": [";
    for (std::size_t i = 0; i < r.pulses.size(); ++i) {
        const PulseResult& p = r.pulses[i].result;
        const std::string table =
            r.pulses[i].cycleTable ? ", \"cycleTable\": " + cycleTableJson(*r.pulses[i].cycleTable)
                                   : std::string();
        s += std::string(i ? ", " : "") + "{\"start\": " + jsonNumberText(p.startSeconds) +
             ", \"amps\": " + jsonNumberText(p.pulseAmps) + ", \"current\": \"" +
             jsonEscape(trimText(r.pulses[i].current)) + "\", \"suspect\": " + flag(p.suspect) +
             ", \"seconds\": " + jsonNumberText(p.seconds) +
             ", \"cycles\": " + jsonNumberText(p.cycles) +
             ", \"onSamples\": " + std::to_string(p.onSamples) +
             ", \"underRange\": " + flag(p.underRange) + ", \"cutShort\": " + flag(p.cutShort) +
             table + "}";
    }
    s += "], \"ending\": \"" + jsonEscape(r.ending) + "\", \"ended\": " + flag(r.ended);
    if (!r.ended)
        s += ", \"notEndedReason\": \"" + jsonEscape(r.notEndedReason) +
             "\", \"pulseOn\": " + flag(r.pulseOn);
    if (r.clippedSamples > 0) s += ", \"clippedSamples\": " + std::to_string(r.clippedSamples);
    s += ", \"endSeconds\": " + jsonNumberText(r.endSeconds) + "}\n";
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

} // namespace qarn3
