// Reading a COMTRADE recording for measurement (.cfg and .dat): the configuration checked line by
// line, then the one channel measured taken from the data, or the whole recording refused.
#include "waveform/comtrade.h"
#include "waveform/comtrade_parse.h"

#include "platform/files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace qarn3 {

namespace comtrade_detail {

// Larger configuration files are refused unread: even thousands of channels take far less.
constexpr std::size_t kCfgMostBytes = 4u << 20;

std::string lowered(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trimmed(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r' || s[a] == '\n'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n'))
        --b;
    return s.substr(a, b - a);
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        out.push_back(trimmed(line.substr(start, comma - start)));
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

// Lines of a text, without their CR LF; the end of a file (a last line break, a DOS end of
// file mark) gives no line of its own.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(std::move(line));
        start = nl + 1;
    }
    while (!out.empty() && (trimmed(out.back()).empty() || out.back() == "\x1a"))
        out.pop_back();
    return out;
}

bool readReal(const std::string& text, double& v) {
    const char* p = text.data();
    const char* end = p + text.size();
    if (p != end && *p == '+') ++p;
    if (p == end) return false;
    const auto r = std::from_chars(p, end, v);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(v);
}

bool readInt(const std::string& text, long long& v) {
    const char* p = text.data();
    const char* end = p + text.size();
    if (p != end && *p == '+') ++p;
    if (p == end) return false;
    const auto r = std::from_chars(p, end, v);
    return r.ec == std::errc() && r.ptr == end;
}

// A count of channels of one kind: "3A", "0D".
bool readKindCount(const std::string& text, char kind, long long& v) {
    if (text.empty() || (text.back() != kind && text.back() != kind - 'A' + 'a')) return false;
    return readInt(text.substr(0, text.size() - 1), v) && v >= 0;
}

class CfgReader {
public:
    CfgReader(const std::string& text, const std::string& name, std::size_t lineOffset)
        : m_lines(linesOf(text)), m_name(name), m_offset(lineOffset) {}

    // The next line's fields; refused when the file ends before what.
    std::vector<std::string> next(const std::string& what) {
        if (m_at >= m_lines.size()) fail("the file ends before " + what, m_lines.size() + 1);
        return fieldsOf(m_lines[m_at++]);
    }
    bool atEnd() const { return m_at >= m_lines.size(); }
    std::size_t remaining() const { return m_lines.size() - m_at; }
    [[noreturn]] void fail(const std::string& reason) const { fail(reason, m_at); }
    [[noreturn]] void fail(const std::string& reason, std::size_t line) const {
        throw Refusal{m_name + " line " + std::to_string(line + m_offset) + ": " + reason};
    }
    double real(const std::vector<std::string>& f, std::size_t i, const std::string& what) const {
        double v = 0;
        if (i >= f.size()) fail("no " + what);
        if (!readReal(f[i], v)) fail(what + " '" + f[i] + "' is not a number");
        return v;
    }
    long long integer(const std::vector<std::string>& f, std::size_t i,
                      const std::string& what) const {
        long long v = 0;
        if (i >= f.size()) fail("no " + what);
        if (!readInt(f[i], v)) fail(what + " '" + f[i] + "' is not a whole number");
        return v;
    }
    const std::string& name() const { return m_name; }
    // The line last read, as the file counts it.
    std::size_t line() const { return m_at + m_offset; }
    std::size_t offset() const { return m_offset; }

private:
    std::vector<std::string> m_lines;
    std::string m_name;
    std::size_t m_offset;
    std::size_t m_at = 0;
};

// The next line as a date and time, refused when it is none.
std::string timeLine(CfgReader& in, const std::string& what, int revision) {
    const std::vector<std::string> f = in.next(what);
    std::string text = f[0];
    for (std::size_t i = 1; i < f.size(); ++i)
        text.append(",").append(f[i]);
    if (!isComtradeTime(f, revision))
        in.fail(what + " '" + text + "' is not " +
                (revision == 1991 ? "a date and time mm/dd/yy,hh:mm:ss.ssssss"
                                  : "a date and time dd/mm/yyyy,hh:mm:ss.ssssss"));
    return text;
}

// Amperes per unit of a current channel's units (A, kA, mA in any case); 0 for any other.
// Units in any case, but for M: "MA" is megaamperes by the SI and milliamperes by an
// instrument that writes capitals only, so it is no unit of current here.
double amperesPerUnit(const std::string& units) {
    if (units == "MA") return 0.0;
    const std::string u = lowered(units);
    return u == "a" ? 1.0 : u == "ka" ? 1000.0 : u == "ma" ? 0.001 : 0.0;
}

void chooseChannel(Config& c, const std::string& channel, const CfgReader& in) {
    if (c.analog.empty()) in.fail("the recording has no analog channel", 2);
    auto chosen = [&c, &in](std::size_t i) {
        c.chosen = i;
        const AnalogChannel& a = c.analog[i];
        c.amperesPerUnit = amperesPerUnit(a.units);
        if (c.amperesPerUnit == 0)
            in.fail("channel " + a.id +
                        (a.units.empty()   ? " has no units, not amperes"
                         : a.units == "MA" ? " is in MA, mega- or milliamperes"
                                           : " is in " + a.units + ", not in amperes") +
                        " (A, kA or mA)",
                    a.line - in.offset());
    };
    if (!channel.empty()) {
        for (std::size_t i = 0; i < c.analog.size(); ++i)
            if (c.analog[i].id == channel) return chosen(i);
        in.fail("no analog channel is named '" + channel + "'", 2);
    }
    if (c.analog.size() == 1) return chosen(0);
    // The one in amperes, else the only current channel whatever its multiple.
    std::size_t inAmperes = 0, currents = 0, atAmperes = 0, atCurrent = 0;
    for (std::size_t i = 0; i < c.analog.size(); ++i) {
        if (lowered(c.analog[i].units) == "a") {
            ++inAmperes;
            atAmperes = i;
        }
        if (amperesPerUnit(c.analog[i].units) != 0) {
            ++currents;
            atCurrent = i;
        }
    }
    if (inAmperes == 1) return chosen(atAmperes);
    if (currents == 1) return chosen(atCurrent);
    in.fail(std::to_string(c.analog.size()) + " analog channels and " +
                (currents ? std::to_string(currents) : std::string("none")) +
                " in amperes: name the channel to measure",
            2);
}

Config parseConfig(const std::string& text, const std::string& name, std::size_t lineOffset,
                   const std::string& channel) {
    CfgReader in(text, name, lineOffset);
    Config c;
    c.name = name;
    auto f = in.next("the station name");
    if (f.size() >= 3 && !f[2].empty()) {
        if (f[2] != "1991" && f[2] != "1999" && f[2] != "2013")
            in.fail("revision year '" + f[2] + "' is not 1991, 1999 or 2013");
        c.revision = std::stoi(f[2]);
    }
    c.station = f[0];
    c.device = f.size() >= 2 ? f[1] : std::string();

    f = in.next("the channel counts");
    const long long total = in.integer(f, 0, "the number of channels");
    long long analog = 0, digital = 0;
    if (f.size() < 3 || !readKindCount(f[1], 'A', analog) || !readKindCount(f[2], 'D', digital))
        in.fail("the channel counts are not \"TT,nA,nD\"");
    if (total < 0 || digital > total || analog != total - digital)
        in.fail(std::to_string(analog) + " analog and " + std::to_string(digital) +
                " digital channels do not make " + std::to_string(total));
    // Checked against what the file holds before anything is made for them.
    if (static_cast<unsigned long long>(total) > in.remaining())
        in.fail(std::to_string(total) + " channels, but the file has only " +
                std::to_string(in.remaining()) + " more lines");
    c.analogCount = static_cast<std::size_t>(analog);
    c.digitalCount = static_cast<std::size_t>(digital);
    const std::size_t analogFields = c.revision == 1991 ? 10 : 13;
    c.analog.reserve(c.analogCount);
    for (std::size_t i = 0; i < c.analogCount; ++i) {
        f = in.next("analog channel " + std::to_string(i + 1));
        if (f.size() < analogFields)
            in.fail("analog channel " + std::to_string(i + 1) + " has " + std::to_string(f.size()) +
                    " fields, not " + std::to_string(analogFields));
        in.integer(f, 0, "the channel index");
        AnalogChannel a;
        a.line = in.line();
        a.id = f[1];
        a.units = f[4];
        a.a = in.real(f, 5, "the multiplier a");
        a.b = in.real(f, 6, "the offset b");
        if (!f[7].empty()) in.real(f, 7, "the skew");
        in.real(f, 8, "the minimum");
        in.real(f, 9, "the maximum");
        if (analogFields == 13) {
            a.primary = in.real(f, 10, "the primary factor");
            a.secondary = in.real(f, 11, "the secondary factor");
            const std::string ps = lowered(f[12]);
            if (ps != "p" && ps != "s") in.fail("'" + f[12] + "' is neither P nor S");
            a.secondaryValues = ps == "s";
            if (a.secondaryValues && !(a.primary > 0 && a.secondary > 0))
                in.fail("the primary and secondary factors must be greater than zero");
        }
        c.analog.push_back(std::move(a));
    }
    const std::size_t digitalFields = c.revision == 1991 ? 3 : 5;
    for (std::size_t i = 0; i < c.digitalCount; ++i) {
        f = in.next("digital channel " + std::to_string(i + 1));
        if (f.size() < digitalFields)
            in.fail("digital channel " + std::to_string(i + 1) + " has " +
                    std::to_string(f.size()) + " fields, not " + std::to_string(digitalFields));
        in.integer(f, 0, "the channel index");
    }
    f = in.next("the line frequency");
    c.lineHz = in.real(f, 0, "the line frequency");
    f = in.next("the number of sampling rates");
    const long long rates = in.integer(f, 0, "the number of sampling rates");
    if (rates == 0)
        in.fail("no sampling rate (samples timed by their time stamps only) cannot be measured");
    if (rates != 1)
        in.fail(std::to_string(rates) + " sampling rates: only a recording of one can be measured");
    f = in.next("the sampling rate");
    c.rate = in.real(f, 0, "the sampling rate");
    const long long last = in.integer(f, 1, "the last sample number");
    if (!(c.rate >= 500 && c.rate <= 5000))
        in.fail("sampling rate " + f[0] +
                " per second: a waveform is measured at 500 to 5000 samples per second");
    if (last < 1) in.fail("no samples (last sample number " + f[1] + ")");
    if (static_cast<unsigned long long>(last) > kComtradeMostSamples)
        in.fail(f[1] + " samples: at most " + std::to_string(kComtradeMostSamples) +
                " can be measured");
    c.samples = static_cast<std::size_t>(last);
    c.first = timeLine(in, "the first sample's time", c.revision);
    {
        std::vector<std::string> fields{c.first.substr(0, c.first.find(',')),
                                        c.first.substr(c.first.find(',') + 1)};
        c.firstMicros = comtradeTimeMicros(fields, c.revision);
    }
    c.trigger = timeLine(in, "the trigger's time", c.revision);
    f = in.next("the data file type");
    const auto type = comtradeDataTypeNamed(f[0]);
    if (!type) in.fail("data file type '" + f[0] + "' is not ASCII, BINARY, BINARY32 or FLOAT32");
    c.type = *type;
    if (c.revision != 1991 && !in.atEnd()) {
        f = in.next("the time multiplier");
        if (!f[0].empty()) in.real(f, 0, "the time multiplier");
    }
    // The times' offset from UTC, where 2013's time code gives it; only the recording's time
    // depends on it, so a code that is none leaves it unknown rather than refuse the file.
    if (c.revision == 2013 && !in.atEnd()) {
        f = in.next("the time code and local code");
        c.timeCodeMinutes = comtradeOffsetMinutes(f[0]);
    }
    chooseChannel(c, channel, in);
    return c;
}

std::uint32_t u32At(const std::string& d, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
    return v;
}

std::size_t recordBytes(const Config& c) {
    const std::size_t width = c.type == ComtradeDataType::Binary ? 2 : 4;
    return 8 + width * c.analogCount + 2 * ((c.digitalCount + 15) / 16);
}

// Samples are numbered 1, 2, 3... in the data of every type.
void checkSampleNumber(long long number, std::size_t index, const std::string& where) {
    if (number != static_cast<long long>(index) + 1)
        throw Refusal{where + "sample number " + std::to_string(number) + " where " +
                      std::to_string(index + 1) + " is due: a sample is missing or repeated"};
}

std::vector<double> asciiValues(const Config& c, const std::string& text, const std::string& name,
                                std::size_t lineOffset) {
    const std::vector<std::string> lines = linesOf(text);
    auto where = [&](std::size_t i) {
        return name + " line " + std::to_string(i + 1 + lineOffset) + ": ";
    };
    if (lines.size() < c.samples)
        throw Refusal{where(lines.size()) + "the data end after " + std::to_string(lines.size()) +
                      " of the " + std::to_string(c.samples) + " samples the configuration gives"};
    if (lines.size() > c.samples)
        throw Refusal{where(c.samples) + "more samples than the " + std::to_string(c.samples) +
                      " the configuration gives"};
    const std::size_t fields = 2 + c.analogCount + c.digitalCount;
    std::vector<double> x(c.samples);
    for (std::size_t i = 0; i < c.samples; ++i) {
        const std::vector<std::string> f = fieldsOf(lines[i]);
        if (f.size() != fields)
            throw Refusal{where(i) + std::to_string(f.size()) + " fields, not the " +
                          std::to_string(fields) + " of the configuration's channels"};
        auto field = [&](std::size_t k) {
            return name + " line " + std::to_string(i + 1 + lineOffset) + ", field " +
                   std::to_string(k + 1) + ": ";
        };
        long long number = 0;
        if (!readInt(f[0], number))
            throw Refusal{field(0) + "sample number '" + f[0] + "' is not a whole number"};
        checkSampleNumber(number, i, field(0));
        // The time stamp may be left out: the rate times the samples.
        if (!f[1].empty() && !(readInt(f[1], number) && number >= 0))
            throw Refusal{field(1) + "time stamp '" + f[1] + "' is not a whole number"};
        for (std::size_t k = 0; k < c.analogCount; ++k) {
            const std::string& value = f[2 + k];
            const AnalogChannel& a = c.analog[k];
            double v = 0;
            // Only the channel measured must have every sample; the others may miss some.
            bool missing = value.empty();
            if (!missing && !readReal(value, v))
                throw Refusal{field(2 + k) + "channel " + a.id + "'s value '" + value +
                              "' is not a number"};
            if (c.revision == 1991 && v == 99999) missing = true;
            if (k == c.chosen) {
                if (missing)
                    throw Refusal{field(2 + k) + "sample " + std::to_string(i + 1) +
                                  " of channel " + a.id + " is missing"};
                x[i] = v;
            }
        }
        for (std::size_t k = 2 + c.analogCount; k < fields; ++k)
            if (!f[k].empty() && f[k] != "0" && f[k] != "1")
                throw Refusal{field(k) + "digital channel " +
                              std::to_string(k - 1 - c.analogCount) + "'s value '" + f[k] +
                              "' is not 0 or 1"};
    }
    return x;
}

std::vector<double> binaryValues(const Config& c, const std::string& d, const std::string& name) {
    const std::size_t record = recordBytes(c);
    const std::size_t want = record * c.samples;
    if (d.size() < want)
        throw Refusal{name + " byte " + std::to_string(d.size()) + ": the data end after " +
                      std::to_string(d.size() / record) + " of the " + std::to_string(c.samples) +
                      " samples the configuration gives (" + std::to_string(want) + " bytes)"};
    if (d.size() > want)
        throw Refusal{name + " byte " + std::to_string(want) + ": more data than the " +
                      std::to_string(c.samples) + " samples the configuration gives (" +
                      std::to_string(want) + " bytes)"};
    std::vector<double> x(c.samples);
    for (std::size_t i = 0; i < c.samples; ++i) {
        checkSampleNumber(u32At(d, i * record), i,
                          name + " byte " + std::to_string(i * record) + ": ");
        const std::size_t at = i * record + 8;
        bool missing = false;
        switch (c.type) {
        case ComtradeDataType::Binary: {
            const auto v = static_cast<std::int16_t>(
                static_cast<unsigned char>(d[at + 2 * c.chosen]) |
                static_cast<unsigned char>(d[at + 2 * c.chosen + 1]) << 8);
            missing = v == std::numeric_limits<std::int16_t>::min();
            x[i] = v;
            break;
        }
        case ComtradeDataType::Binary32: {
            const auto v = static_cast<std::int32_t>(u32At(d, at + 4 * c.chosen));
            missing = v == std::numeric_limits<std::int32_t>::min();
            x[i] = v;
            break;
        }
        default: {
            const std::uint32_t bits = u32At(d, at + 4 * c.chosen);
            float v = 0;
            std::memcpy(&v, &bits, 4);
            missing = !std::isfinite(v);
            x[i] = v;
            break;
        }
        }
        if (missing)
            throw Refusal{name + " byte " + std::to_string(at) + ": sample " +
                          std::to_string(i + 1) + " of channel " + c.analog[c.chosen].id +
                          " is missing"};
    }
    return x;
}

ComtradeRead currentOf(const Config& c, std::vector<double> x) {
    const AnalogChannel& ch = c.analog[c.chosen];
    const double factor = (ch.secondaryValues ? ch.primary / ch.secondary : 1.0) * c.amperesPerUnit;
    for (double& v : x) {
        v = (ch.a * v + ch.b) * factor;
        if (!std::isfinite(v))
            throw Refusal{c.name + " line " + std::to_string(ch.line) + ": channel " + ch.id +
                          "'s factors make a sample beyond every number"};
    }
    ComtradeCurrent cur;
    cur.channel = ch.id;
    cur.stationName = c.station;
    cur.deviceId = c.device;
    cur.revision = c.revision;
    cur.sampleRate = 1.0 / static_cast<double>(comtradeSamplePeriod(c.rate));
    cur.lineHz = c.lineHz;
    cur.amps = std::move(x);
    cur.firstSampleTime = c.first;
    cur.triggerTime = c.trigger;
    cur.firstSampleMicros = c.firstMicros;
    cur.timeCodeMinutes = c.timeCodeMinutes;
    ComtradeRead r;
    r.current = std::move(cur);
    return r;
}

ComtradeRead refused(const std::string& message) {
    ComtradeRead r;
    r.error = message;
    return r;
}

} // namespace comtrade_detail

using namespace comtrade_detail;

ComtradeRead parseComtrade(const std::string& cfgText, const std::string& cfgName,
                           const std::string& datBytes, const std::string& datName,
                           const std::string& channel) {
    try {
        const Config c = parseConfig(cfgText, cfgName, 0, channel);
        return currentOf(c, c.type == ComtradeDataType::Ascii ? asciiValues(c, datBytes, datName, 0)
                                                              : binaryValues(c, datBytes, datName));
    } catch (const Refusal& r) {
        return refused(r.message);
    }
}

ComtradeRead readComtradeFile(const std::string& path, const std::string& channel,
                              FileStore& files) {
    const std::string base = comtradeBase(path);
    if (path.size() >= 4 && lowered(path.substr(path.size() - 4)) == ".cff") {
        const auto bytes = files.readPrefix(path, kDatMostBytes + 1);
        if (!bytes) return refused("Cannot read " + path + ": " + files.readFailure(path));
        if (bytes->size() > kDatMostBytes) return refused(path + ": larger than 256 MiB");
        return parseComtradeCff(*bytes, path, channel);
    }
    const auto cfg = files.readPrefix(path, kCfgMostBytes + 1);
    if (!cfg) return refused("Cannot read " + path + ": " + files.readFailure(path));
    if (cfg->size() > kCfgMostBytes) return refused(path + ": larger than 4 MiB");
    // The data file as its configuration's name is spelt, else in either case.
    const bool upper = !path.empty() && path.back() == 'G';
    std::string datPath;
    for (const char* ext : {upper ? ".DAT" : ".dat", upper ? ".dat" : ".DAT"})
        if (files.exists(base + ext)) {
            datPath = base + ext;
            break;
        }
    // The configuration first: its refusals come before the data file's.
    try {
        const Config c = parseConfig(*cfg, path, 0, channel);
        if (datPath.empty()) return refused(path + ": its data file " + base + ".dat is missing");
        const std::size_t limit =
            c.type == ComtradeDataType::Ascii ? kDatMostBytes + 1 : recordBytes(c) * c.samples + 1;
        const auto dat = files.readPrefix(datPath, limit);
        if (!dat) return refused("Cannot read " + datPath + ": " + files.readFailure(datPath));
        if (c.type == ComtradeDataType::Ascii && dat->size() > kDatMostBytes)
            return refused(datPath + ": larger than 256 MiB");
        return currentOf(c, c.type == ComtradeDataType::Ascii ? asciiValues(c, *dat, datPath, 0)
                                                              : binaryValues(c, *dat, datPath));
    } catch (const Refusal& r) {
        return refused(r.message);
    }
}

} // namespace qarn3
