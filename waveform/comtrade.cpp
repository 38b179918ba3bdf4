#include "waveform/comtrade.h"

#include "platform/files.h"
#include "waveform/waveform.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace qarn3 {

namespace {

const char* const kCrLf = "\r\n";

std::string lowered(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool endsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && lowered(s.substr(s.size() - tail.size())) == tail;
}

std::string intText(long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The shortest text that reads back as the same double.
std::string shortestText(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string precisionText(double v, int digits) {
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
    return std::string(buf, r.ptr);
}

float periodOf(double rate) {
    return comtradeSamplePeriod(rate);
}

// The rate as written: six significant digits (2400 for a file's 2399.99...), more only where
// six would not give the same single-precision period back.
std::string rateText(double rate) {
    for (int digits = 6; digits < 17; ++digits) {
        const std::string text = precisionText(rate, digits);
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        if (periodOf(back) == periodOf(rate)) return text;
    }
    return shortestText(rate);
}

// A text field: commas and line breaks would split the line.
std::string fieldText(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c == ',' || c == '\r' || c == '\n') c = ' ';
    return out;
}

std::string two(int v) {
    return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

// Days since 1970-01-01 to year, month, day (proleptic Gregorian).
void civilOf(long long days, long long& y, int& m, int& d) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    if (m <= 2) ++y;
}

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

bool sampleOn(const ComtradeExport& e, std::size_t i) {
    for (const auto& [first, count] : e.onSpans)
        if (i >= first && i - first < count) return true;
    return false;
}

} // namespace

std::optional<ComtradeDataType> comtradeDataTypeNamed(const std::string& name) {
    const std::string n = lowered(name);
    if (n == "ascii") return ComtradeDataType::Ascii;
    if (n == "binary") return ComtradeDataType::Binary;
    if (n == "binary32") return ComtradeDataType::Binary32;
    if (n == "float32") return ComtradeDataType::Float32;
    return std::nullopt;
}

const char* comtradeDataTypeText(ComtradeDataType type) {
    switch (type) {
    case ComtradeDataType::Ascii:
        return "ASCII";
    case ComtradeDataType::Binary:
        return "BINARY";
    case ComtradeDataType::Binary32:
        return "BINARY32";
    case ComtradeDataType::Float32:
        return "FLOAT32";
    }
    return "BINARY";
}

std::string comtradeTimeText(std::int64_t us) {
    const std::int64_t perDay = 86400LL * 1000000;
    std::int64_t days = us / perDay;
    std::int64_t rest = us % perDay;
    if (rest < 0) {
        rest += perDay;
        --days;
    }
    long long y = 0;
    int m = 0, d = 0;
    civilOf(days, y, m, d);
    const auto secs = static_cast<int>(rest / 1000000);
    std::string frac = intText(rest % 1000000);
    frac.insert(0, 6 - frac.size(), '0');
    std::string year = intText(y);
    if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
    return two(d) + "/" + two(m) + "/" + year + "," + two(secs / 3600) + ":" + two(secs / 60 % 60) +
           ":" + two(secs % 60) + "." + frac;
}

std::string comtradeLocalCode(int offsetMinutes) {
    if (offsetMinutes == 0) return "0";
    const int a = std::abs(offsetMinutes);
    return std::string(offsetMinutes < 0 ? "-" : "+") + intText(a / 60) + "h" + two(a % 60);
}

ComtradeFiles comtradeFilesOf(const ComtradeExport& e) {
    ComtradeFiles f;
    std::string& c = f.cfg;
    const std::string station = e.stationName.empty() ? "QARN3" : e.stationName;
    c += fieldText(station) + "," + fieldText(e.deviceId) + ",2013" + kCrLf;
    c += e.withOn ? "2,1A,1D" : "1,1A,0D";
    c += kCrLf;
    c += "1,I," + fieldText(e.phase) + "," + fieldText(e.circuit) + ",A," +
         shortestText(e.ampsPerCount) + ",0,0,-2048,2047,1,1,P" + kCrLf;
    if (e.withOn) c += std::string("1,ON,,,0") + kCrLf;
    c += intText(e.lineHz) + kCrLf;
    c += std::string("1") + kCrLf;
    const std::size_t n = e.counts.size();
    c += rateText(e.sampleRate) + "," + intText(static_cast<long long>(n)) + kCrLf;
    c += comtradeTimeText(e.firstSampleUs) + kCrLf;
    c += comtradeTimeText(e.triggerUs) + kCrLf;
    c += std::string(comtradeDataTypeText(e.type)) + kCrLf;
    c += std::string("1") + kCrLf;
    // The times are UTC: time code 0; the local code says where they were recorded.
    c += "0," + comtradeLocalCode(e.localOffsetMinutes) + kCrLf;
    // The computer's clock: within a second of UTC (A), no leap second in the recording (0).
    c += std::string("A,0") + kCrLf;

    std::string& d = f.dat;
    for (std::size_t i = 0; i < n; ++i) {
        const auto number = static_cast<std::uint32_t>(i + 1);
        const auto stamp = e.sampleRate > 0 ? static_cast<std::uint32_t>(std::llround(
                                                  static_cast<double>(i) / e.sampleRate * 1e6))
                                            : 0u;
        const std::int16_t x = e.counts[i];
        const bool on = e.withOn && sampleOn(e, i);
        if (e.type == ComtradeDataType::Ascii) {
            d += intText(number) + "," + intText(stamp) + "," + intText(x);
            if (e.withOn) d += on ? ",1" : ",0";
            d += kCrLf;
            continue;
        }
        putU32(d, number);
        putU32(d, stamp);
        switch (e.type) {
        case ComtradeDataType::Binary:
            // -32768 marks a missing sample: the analyzer's counts never reach it.
            putU16(d, static_cast<std::uint16_t>(std::max<std::int16_t>(x, -32767)));
            break;
        case ComtradeDataType::Binary32:
            putU32(d, static_cast<std::uint32_t>(static_cast<std::int32_t>(x)));
            break;
        default: {
            const float v = x;
            std::uint32_t bits = 0;
            std::memcpy(&bits, &v, 4);
            putU32(d, bits);
            break;
        }
        }
        if (e.withOn) putU16(d, on ? 1 : 0);
    }
    return f;
}

std::optional<ComtradeExport> comtradeExportOfWaveFile(const std::string& bytes,
                                                       std::string& error) {
    if (bytes.size() < kWaveHeaderSize) {
        error = "too short for a waveform file's header";
        return std::nullopt;
    }
    const TWaveFileHeader h = TWaveFileHeader::fromBytes(bytes.data());
    if (std::memcmp(h.Magic.data(), "WAVEFORM", 8) != 0) {
        error = "not a waveform file";
        return std::nullopt;
    }
    ComtradeExport e;
    // As ReadWaveform takes them.
    std::int32_t count = h.SampleCount;
    if (count > kWaveFileSamples || count < 100) count = kWaveFileSamples;
    const double period = h.SamplePeriod;
    double rate = period != 0 ? 1.0 / period : 0;
    if (!(rate >= 500 && rate <= 5000)) rate = 2400;
    e.sampleRate = rate;
    e.ampsPerCount = h.AmpsPerCount;
    e.deviceId = std::string(h.SerialId.data(), strnlen(h.SerialId.data(), h.SerialId.size()));
    const std::size_t inFile = (bytes.size() - kWaveHeaderSize) / 2;
    const std::size_t got = std::min<std::size_t>(inFile, static_cast<std::size_t>(count - 1));
    e.counts.resize(got);
    if (got) std::memcpy(e.counts.data(), bytes.data() + kWaveHeaderSize, 2 * got);
    return e;
}

std::string comtradeBase(const std::string& name) {
    for (const char* ext : {".cfg", ".dat", ".cff"})
        if (endsWithNoCase(name, ext)) return name.substr(0, name.size() - 4);
    return name;
}

std::string writeComtradeFiles(const std::string& base, const ComtradeExport& e, FileStore& files) {
    const ComtradeFiles f = comtradeFilesOf(e);
    const std::string cfgPath = base + ".cfg", datPath = base + ".dat";
    // The data first: a configuration file is never left describing data that is not there.
    const std::optional<std::string> oldDat =
        files.exists(datPath) ? files.readAll(datPath) : std::nullopt;
    const bool datExisted = files.exists(datPath);
    std::string error;
    if (!files.replaceContents(datPath, f.dat, error))
        return "Cannot write " + datPath + ": " + error;
    if (!files.replaceContents(cfgPath, f.cfg, error)) {
        std::string ignored;
        if (datExisted && oldDat)
            files.replaceContents(datPath, *oldDat, ignored);
        else if (!datExisted)
            std::remove(datPath.c_str());
        return "Cannot write " + cfgPath + ": " + error;
    }
    return {};
}

bool isComtradeName(const std::string& path) {
    return endsWithNoCase(path, ".cfg") || endsWithNoCase(path, ".cff");
}

float comtradeSamplePeriod(double rate) {
    auto period = static_cast<float>(1.0 / rate);
    if (!(rate >= 500 && rate <= 5000)) return period;
    // One step of the float's last digit at most: the nearest period inside the range.
    while (1.0 / static_cast<double>(period) < 500)
        period = std::nextafter(period, 0.0f);
    while (1.0 / static_cast<double>(period) > 5000)
        period = std::nextafter(period, 1.0f);
    return period;
}

ComtradeCounts comtradeCounts(const std::vector<double>& amps, double ampsPerCount) {
    ComtradeCounts out;
    out.counts.resize(amps.size());
    for (std::size_t i = 0; i < amps.size(); ++i) {
        const double x = amps[i] / ampsPerCount;
        double r = std::round(x);
        if (!(std::abs(x) <= 2047.5)) {
            r = x < 0 ? -2047 : 2047;
            ++out.clipped;
        } else if (std::abs(r) > 2047) {
            r = r < 0 ? -2047 : 2047;
            ++out.clipped;
        }
        out.counts[i] = static_cast<std::int16_t>(r);
    }
    return out;
}

} // namespace qarn3
