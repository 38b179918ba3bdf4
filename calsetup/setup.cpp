#include "calsetup/setup.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/textformat.h"

#include <cctype>
#include <vector>

namespace qarn3 {

bool namesSerialPort(const std::string& name, bool ignoreCase) {
    if (!name.empty() && name[0] == '/') return true;
    if (name.size() < 3) return false;
    if (!ignoreCase) return name.compare(0, 3, "COM") == 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
    return true;
}

std::uint8_t sourceKindOf(const std::string& sourceName) {
    const std::string name = trimText(sourceName);
    if (namesSerialPort(name, false)) return kSourceCom;
    if (name == "USB") return kSourceUsb;
    return kSourceNone;
}

std::optional<std::uint8_t> sourceKindChosen(const std::string& sourceName) {
    const std::string name = trimText(sourceName);
    if (name == "USB") return kSourceUsb;
    if (namesSerialPort(name, true)) return kSourceCom;
    return std::nullopt;
}

void setSetupDefaults(TSetupRecord& r) {
    r.RangeIndex = 4;
    r.MaxOnTime = 5.0;
    r.MaxOffTime = 5.0;
    r.SourceName = "COM";
    r.MaxOps = 4;
    r.TestMode = 0;
    r.ShuntAmperes = 1000.0;
    r.ShuntMillivolts = 100.0;
}

std::string setupFileText(const TSetupRecord& r, char sep) {
    std::string s;
    auto line = [&s](const std::string& text) { s += text + "\r\n"; };
    line(formatInt(r.RangeIndex));
    line(formatFixed(r.MaxOnTime, 4, 2, sep));
    line(formatFixed(r.MaxOffTime, 4, 2, sep));
    line(r.DataFileName);
    line(r.SourceName);
    line(formatInt(r.MaxOps));
    line(formatInt(r.TestMode));
    line(formatFixed(r.ShuntAmperes, 6, 0, sep));
    line(formatFixed(r.ShuntMillivolts, 6, 2, sep));
    return s;
}

void parseSetupText(const std::string& text, TSetupRecord& r, char sep) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size() && lines.size() < 9) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(trimText(text.substr(start, nl - start)));
        start = nl + 1;
    }
    lines.resize(9); // a short file reads empty lines, which fail where a number is due

    const std::int32_t range = parseInteger(lines[0]);
    r.RangeIndex = static_cast<std::int16_t>(range >= 1 && range <= 8 ? range : 4);
    r.MaxOnTime = parseReal(lines[1], sep);
    r.MaxOffTime = parseReal(lines[2], sep);
    r.DataFileName = lines[3];
    r.SourceName = lines[4];
    r.SourceKind = sourceKindOf(r.SourceName);
    r.MaxOps = parseInteger(lines[5]);
    r.TestMode = static_cast<std::uint8_t>(parseInteger(lines[6]) & 0xFF);
    r.ShuntAmperes = parseReal(lines[7], sep);
    r.ShuntMillivolts = parseReal(lines[8], sep);
}

void ReadSetupFile(TSetupRecord& r, Services& s, char sep) {
    s.log.AddDebugLine("ReadSetupFile ");
    if (!s.files.exists(r.SetupFileName)) {
        s.dialogs.systemBox("Creating Default Setup File", "File Missing", {MsgButton::OK});
        setSetupDefaults(r);
        if (r.DataFileName.empty()) r.DataFileName = "Velkorand.odf";
        WriteSetupFile(r, s, sep);
    }
    if (!s.files.exists(r.SetupFileName)) return;
    // Nine lines are all the file holds: what lies beyond is never read, and a name that is
    // not a regular file (a folder, a FIFO, a device) is a reading error.
    const auto text = s.files.readPrefix(r.SetupFileName, kSetupReadLimit);
    if (!text) throw FileIoError("Error reading file: " + r.SetupFileName);
    parseSetupText(*text, r, sep);
}

bool WriteSetupFile(const TSetupRecord& r, Services& s, char sep) {
    s.log.AddDebugLine("WriteSetupFile ");
    std::string error;
    if (s.files.replaceContents(r.SetupFileName, setupFileText(r, sep), error)) return true;
    s.log.AddDebugLine("WriteSetupFile failed: " + error);
    s.dialogs.messageDlg("Error writing file: " + r.SetupFileName, MsgKind::Error,
                         {MsgButton::Abort});
    return false;
}

} // namespace qarn3

namespace qarn3 {

SetupFields setupFieldsOf(const TSetupRecord& r, char sep) {
    SetupFields f;
    f.MaxOnTime = formatFixed(r.MaxOnTime, 4, 2, sep);
    f.MaxOffTime = formatFixed(r.MaxOffTime, 4, 2, sep);
    f.MaxOps = formatInt(r.MaxOps);
    f.DataFileName = r.DataFileName;
    f.SourceName = r.SourceName;
    f.ShuntAmperes = formatFixed(r.ShuntAmperes, 5, 1, sep);
    f.ShuntMillivolts = formatFixed(r.ShuntMillivolts, 3, 2, sep);
    return f;
}

std::string shuntProblem(const TSetupRecord& r) {
    if (!(r.ShuntAmperes > 0) || !(r.ShuntMillivolts > 0))
        return "Shunt Amperes and Shunt Millivolts must be greater than zero";
    return {};
}

void takeSetupFields(const SetupFields& f, TSetupRecord& r, char sep) {
    r.MaxOnTime = parseReal(f.MaxOnTime, sep);
    r.MaxOffTime = parseReal(f.MaxOffTime, sep);
    r.MaxOps = parseInteger(f.MaxOps);
    r.DataFileName = f.DataFileName;
    r.SourceName = f.SourceName;
    r.ShuntAmperes = parseReal(f.ShuntAmperes, sep);
    r.ShuntMillivolts = parseReal(f.ShuntMillivolts, sep);
}

} // namespace qarn3
