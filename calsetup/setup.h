#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qarn3 {

struct Services;

// Source kinds: which link talks to the analyzer.
enum : std::uint8_t { kSourceNone = 0, kSourceCom = 1, kSourceUsb = 2 };

// The operator's installation settings, one per program run.
struct TSetupRecord {
    std::string DataFileName;
    double MaxOffTime = 0.0;
    double MaxOnTime = 0.0;
    std::int32_t MaxOps = 0;
    std::int16_t RangeIndex = 0;
    std::string SetupFileName;
    double ShuntAmperes = 0.0;
    double ShuntMillivolts = 0.0;
    std::string SourceName;
    std::uint8_t SourceKind = kSourceNone;
    std::uint8_t TestMode = 0;
};

constexpr const char* kSetupFileName = "QARN3.osf";
// The most of a setup file that is read: nine lines of at most a path each, with room to
// spare. What lies beyond is never read.
constexpr std::size_t kSetupReadLimit = 9 * 4096 + 1024;

// True when a (trimmed) source name names a serial port: it begins with "COM" (in any case
// when ignoreCase) or it is a device path such as /dev/ttyACM0.
bool namesSerialPort(const std::string& name, bool ignoreCase);

// 1 when the name names a serial port (exact case "COM"), 2 when it is "USB" (exact case),
// else 0; the name is trimmed first.
std::uint8_t sourceKindOf(const std::string& sourceName);
// The kind the start-up chooses for a source name: USB for "USB", serial for a serial port's
// name in any case ("com5") or a device path; none for any other name, whose kind then stays
// as the setup file gave it.
std::optional<std::uint8_t> sourceKindChosen(const std::string& sourceName);

// The values of a new setup file: range 4, 5 s limits, source "COM", 4 operations, pulse
// test, 1000 A / 100 mV shunt. The file names and SourceKind are left as they are.
void setSetupDefaults(TSetupRecord& r);

// The nine lines of the setup file, each ended by CR LF.
std::string setupFileText(const TSetupRecord& r, char decimalSeparator);

// Reads the nine lines into the record in order. A line that does not convert throws
// ConvertError; the fields read before it keep their new values.
void parseSetupText(const std::string& text, TSetupRecord& r, char decimalSeparator);

// Loads the record from SetupFileName, creating the file with defaults when it is missing.
// Throws ConvertError or FileIoError to the caller.
void ReadSetupFile(TSetupRecord& r, Services& s, char decimalSeparator);
// Writes the record to SetupFileName; on failure shows "Error writing file: " + path.
bool WriteSetupFile(const TSetupRecord& r, Services& s, char decimalSeparator);

} // namespace qarn3

namespace qarn3 {

// The Setup dialog's texts, in the order they are taken.
struct SetupFields {
    std::string MaxOnTime, MaxOffTime, MaxOps, DataFileName, SourceName, ShuntAmperes,
        ShuntMillivolts;
};
// The record as the dialog shows it on opening.
SetupFields setupFieldsOf(const TSetupRecord& r, char decimalSeparator);
// Why the record's shunt rating cannot scale the ranges (a zero or negative value would
// divide by zero), or empty when it can.
std::string shuntProblem(const TSetupRecord& r);

// Takes the fields into the record in order; a field that does not convert throws
// ConvertError, leaving the fields taken before it with their new values.
void takeSetupFields(const SetupFields& f, TSetupRecord& r, char decimalSeparator);

} // namespace qarn3
