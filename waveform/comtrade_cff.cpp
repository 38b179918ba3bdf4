// Reading a COMTRADE recording from one .cff file: its CFG and DAT sections read as the two
// files would be; INF and HDR sections skipped.
#include "waveform/comtrade.h"
#include "waveform/comtrade_parse.h"

#include <algorithm>
#include <cstddef>

namespace qarn3 {

using namespace comtrade_detail;

namespace {

// One section of a .cff file: its kind ("cfg", "dat ascii", "dat binary"...), the byte
// count a binary section gives, and where its contents start.
struct CffSection {
    std::string kind;
    std::size_t bytes = 0;
    std::size_t begin = 0, end = 0;
    std::size_t line = 0; // the line before its first
};

} // namespace

ComtradeRead parseComtradeCff(const std::string& bytes, const std::string& name,
                              const std::string& channel) {
    std::vector<CffSection> sections;
    std::size_t pos = 0, line = 0;
    const std::string marker = "--- file type:";
    try {
        while (pos < bytes.size()) {
            std::size_t nl = bytes.find('\n', pos);
            if (nl == std::string::npos) nl = bytes.size();
            ++line;
            const std::string text = trimmed(bytes.substr(pos, nl - pos));
            const std::size_t next = std::min(nl + 1, bytes.size());
            if (lowered(text).rfind(marker, 0) == 0) {
                std::string kind = lowered(text.substr(marker.size()));
                if (kind.size() >= 3 && kind.compare(kind.size() - 3, 3, "---") == 0)
                    kind.resize(kind.size() - 3);
                kind = trimmed(kind);
                CffSection s;
                s.begin = next;
                s.line = line;
                if (!sections.empty() && sections.back().end == 0) sections.back().end = pos;
                const std::size_t colon = kind.find(':');
                if (kind.rfind("dat", 0) == 0 && colon != std::string::npos) {
                    long long n = 0;
                    const std::string count = trimmed(kind.substr(colon + 1));
                    if (!readInt(count, n) || n < 0)
                        throw Refusal{name + " line " + std::to_string(line) + ": byte count '" +
                                      count + "' is not a whole number"};
                    s.kind = trimmed(kind.substr(0, colon));
                    s.bytes = static_cast<std::size_t>(n);
                    if (s.kind != "dat ascii") {
                        if (s.bytes > bytes.size() - s.begin)
                            throw Refusal{name + " line " + std::to_string(line) + ": the " +
                                          std::to_string(s.bytes) + " bytes of data run past " +
                                          "the end of the file"};
                        s.end = s.begin + s.bytes;
                        sections.push_back(s);
                        // The binary data may hold any byte: the next section starts after it.
                        line += static_cast<std::size_t>(
                            std::count(bytes.begin() + static_cast<std::ptrdiff_t>(s.begin),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(s.end), '\n'));
                        pos = s.end;
                        continue;
                    }
                } else {
                    s.kind = kind;
                }
                sections.push_back(s);
            }
            pos = next;
        }
        if (!sections.empty() && sections.back().end == 0) sections.back().end = bytes.size();
        const CffSection* cfg = nullptr;
        const CffSection* dat = nullptr;
        for (const CffSection& s : sections) {
            if (s.kind == "cfg" && !cfg) cfg = &s;
            if (s.kind.rfind("dat", 0) == 0 && !dat) dat = &s;
        }
        if (!cfg) throw Refusal{name + ": no CFG section (\"--- file type: CFG ---\")"};
        if (!dat) throw Refusal{name + ": no DAT section (\"--- file type: DAT ASCII ---\")"};
        const Config c =
            parseConfig(bytes.substr(cfg->begin, cfg->end - cfg->begin), name, cfg->line, channel);
        const std::string want = lowered(std::string("dat ") + comtradeDataTypeText(c.type));
        if (dat->kind != want)
            throw Refusal{name + " line " + std::to_string(dat->line) + ": a " + dat->kind +
                          " section for data of type " + comtradeDataTypeText(c.type)};
        const std::string data = bytes.substr(dat->begin, dat->end - dat->begin);
        return currentOf(c, c.type == ComtradeDataType::Ascii
                                ? asciiValues(c, data, name, dat->line)
                                : binaryValues(c, data, name + " DAT section"));
    } catch (const Refusal& r) {
        return refused(r.message);
    }
}

} // namespace qarn3
