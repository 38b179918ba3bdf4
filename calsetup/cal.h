#pragma once

#include "calsetup/calimage.h"

#include <array>
#include <cstdint>
#include <string>

namespace qarn3 {

struct Services;

constexpr const char* kCalFileName = "QARN3.ocf";
// The calibration file as it was before its last replacement (by defaults or SAVE).
constexpr const char* kCalBackupName = "QARN3.ocf.bak";

// The analyzer's calibration: a factor per range, detector thresholds and delays, averaging
// time, serial number and date, with the 128-character image they are stored as.
struct TCalRecord {
    std::string CalImage = std::string(kCalImageSize, '\0');
    std::array<float, 8> Factor{}; // Factor[r - 1] for range r = 1..8
    std::int32_t OnThresh = 0;
    std::int32_t MPUThresh = 0;
    std::int32_t OnDelay = 0;
    std::int32_t OffThresh = 0;
    std::int32_t OffDelay = 0;
    double AvgTime = 0.0;
    std::string SerNum;
    double CalDate = 0.0;
    bool CalError = false;
    std::int32_t AvgSamples = 0;
};

// The calibration window's fields that a parse fills with the image's raw texts; the
// calibration window implements it. RefreshCal reloads every field from the record.
class CalFieldsView {
public:
    virtual ~CalFieldsView() = default;
    virtual void setFactorText(int range, const std::string& text) = 0;
    virtual void setAvgTimeText(const std::string& text) = 0;
    virtual void setSerNumText(const std::string& text) = 0;
    virtual void setCalDateText(long dayNumber) = 0;
    virtual void RefreshCal(const TCalRecord& r) = 0;
};

// The default calibration: factors 0.001225, thresholds 40 (MPU 100) and 20, delays 5 and
// 15, averaging 0.1 s, serial "**DEFAULT*", dated calDate. CalError and the image are kept.
void setCalDefaults(TCalRecord& r, double calDate);

// The image of the record's fields, 16 lines of fixed width, exactly 128 characters.
// Throws std::out_of_range naming a value that does not fit its field.
std::string buildCalImage(const TCalRecord& r);

// Calibration routines sharing the record, the store's sample rate and the window's fields.
class CalFile {
public:
    CalFile(TCalRecord& record, double& sampleRate, Services& services,
            const std::string& dataFolder, CalFieldsView* view = nullptr);

    void setView(CalFieldsView* view) { m_view = view; }
    std::string path() const;
    std::string backupPath() const;

    void ParseCalImage();
    // Throws FileIoError "Cannot open file QARN3.ocf" when there is still no file after the
    // default procedure; the calling operation ends there.
    void ReadCalFile();
    // Writes the record's image, read-only, after the operator's confirmation. The file it
    // replaces is first kept as QARN3.ocf.bak (read-only too), which holds the one previous
    // calibration; when that copy cannot be made, nothing is replaced.
    bool WriteCalFile();
    void SetDefaultCal();

private:
    bool keepPreviousFile(const std::string& previous, std::string& error);
    TCalRecord& m_cal;
    double& m_sampleRate;
    Services& m_s;
    std::string m_dataFolder;
    CalFieldsView* m_view;
};

} // namespace qarn3
