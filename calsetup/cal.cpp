#include "calsetup/cal.h"

#include "calsetup/caldate.h"
#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/textformat.h"

#include <cmath>
#include <optional>
#include <stdexcept>

namespace qarn3 {

namespace {

std::string padded(const std::string& t, std::size_t width) {
    std::string s = t;
    s.resize(width, ' ');
    return s;
}

std::string fitted(const std::string& text, std::size_t width, const char* field) {
    if (text.size() != width)
        throw std::out_of_range(std::string(field) + " " + text +
                                " does not fit the calibration image");
    return text + "\r\n";
}

} // namespace

void setCalDefaults(TCalRecord& r, double calDate) {
    r.Factor.fill(0.001225f);
    r.OnThresh = 40;
    r.MPUThresh = 100;
    r.OnDelay = 5;
    r.OffThresh = 20;
    r.OffDelay = 15;
    r.AvgTime = 0.1;
    r.SerNum = "**DEFAULT*";
    r.CalDate = calDate;
}

std::string buildCalImage(const TCalRecord& r) {
    std::string s;
    for (float f : r.Factor)
        s += fitted(formatFixed(f, 8, 6), 8, "Factor");
    s += fitted(formatInt(r.OnThresh, 2), 2, "OnThresh");
    s += fitted(formatInt(r.MPUThresh, 3), 3, "MPUThresh");
    s += fitted(formatInt(r.OnDelay, 2), 2, "OnDelay");
    s += fitted(formatInt(r.OffThresh, 2), 2, "OffThresh");
    s += fitted(formatInt(r.OffDelay, 2), 2, "OffDelay");
    s += fitted(formatFixed(r.AvgTime, 6, 3), 6, "AvgTime");
    s += padded(r.SerNum, 10) + "\r\n";
    std::string day = formatInt(std::llround(r.CalDate), 5);
    day.resize(5);
    s += day + "\r\n";
    return s;
}

CalFile::CalFile(TCalRecord& record, double& sampleRate, Services& services,
                 const std::string& dataFolder, CalFieldsView* view)
    : m_cal(record), m_sampleRate(sampleRate), m_s(services), m_dataFolder(dataFolder),
      m_view(view) {}

std::string CalFile::path() const {
    return resolveInFolder(m_dataFolder, kCalFileName);
}

std::string CalFile::backupPath() const {
    return resolveInFolder(m_dataFolder, kCalBackupName);
}

void CalFile::ParseCalImage() {
    const CalImageParse p = parseCalImage(m_cal.CalImage, m_sampleRate);
    if (m_view) {
        for (int i = 0; i < 8; ++i)
            m_view->setFactorText(i + 1, p.factorTexts[static_cast<std::size_t>(i)]);
        m_view->setAvgTimeText(p.avgTimeText);
        m_view->setSerNumText(p.serNumText);
        // The date field shows the day number even if the rest of the image is damaged;
        // a date that does not convert leaves it alone.
        if (p.calDate) m_view->setCalDateText(*p.calDate);
    }
    // The values read before a fault take their place in the record; a bad date (read first)
    // changes nothing.
    for (std::size_t i = 0; i < 8; ++i)
        if (p.factors[i]) m_cal.Factor[i] = *p.factors[i];
    const auto take = [](std::int32_t& field, const std::optional<std::int32_t>& v) {
        if (v) field = *v;
    };
    take(m_cal.OnThresh, p.onThresh);
    take(m_cal.MPUThresh, p.mpuThresh);
    take(m_cal.OnDelay, p.onDelay);
    take(m_cal.OffThresh, p.offThresh);
    take(m_cal.OffDelay, p.offDelay);
    if (p.avgTime && !(m_sampleRate > 0)) m_sampleRate = 2400;
    if (p.ok()) {
        m_cal.AvgTime = *p.avgTime;
        m_cal.AvgSamples = *p.avgSamples;
        m_cal.SerNum = p.serNum;
        m_cal.CalDate = *p.calDate;
        m_cal.CalError = false;
        return;
    }
    m_s.dialogs.messageDlg("Calibration corrupted. Please recalibrate.", MsgKind::Information,
                           {MsgButton::OK});
    if (p.fault == CalImageFault::DoesNotFit) {
        m_cal.CalError = true;
        SetDefaultCal();
    }
}

void CalFile::ReadCalFile() {
    m_s.log.AddDebugLine("ReadCalFile ");
    if (!m_s.files.exists(path())) {
        m_s.dialogs.messageDlg("Cal File QARN3.ocf Missing.", MsgKind::Information,
                               {MsgButton::OK});
        SetDefaultCal();
    }
    if (!m_s.files.exists(path()))
        throw FileIoError(std::string("Cannot open file ") + kCalFileName);
    // Only the characters of the image are read: a huge file costs nothing, and a name that
    // is not a regular file (a folder, a FIFO, a device) is a reading error.
    const auto text = m_s.files.readPrefix(path(), kCalImageSize);
    if (!text) {
        m_s.dialogs.messageDlg(std::string("Error reading file: ") + kCalFileName, MsgKind::Error,
                               {MsgButton::Abort});
        m_cal.CalError = true;
        m_s.log.AddDebugLine("End ReadCalFile ");
        return;
    }
    // A shorter file replaces only the start of the image; the rest keeps what it held.
    m_cal.CalImage = padded(m_cal.CalImage, kCalImageSize);
    m_cal.CalImage.replace(0, std::min(text->size(), kCalImageSize), *text, 0,
                           std::min(text->size(), kCalImageSize));
    ParseCalImage();
    m_s.log.AddDebugLine("End ReadCalFile ");
}

bool CalFile::WriteCalFile() {
    m_s.log.AddDebugLine("WriteCalFile");
    if (m_s.dialogs.messageDlg(std::string("Writing to Cal File ") + kCalFileName,
                               MsgKind::Information,
                               {MsgButton::OK, MsgButton::Cancel}) != MsgButton::OK) {
        m_s.log.AddDebugLine("End WriteCalFile");
        return false;
    }
    bool ok = false;
    std::string error;
    const char* failedFile = kCalFileName;
    try {
        const std::string image = buildCalImage(m_cal);
        // The one file the program makes writable itself, and read-only again afterwards,
        // whether or not the write succeeded.
        const bool existed = m_s.files.exists(path());
        // Only the start of an oversized file is kept: the program reads the first 128
        // characters of it and nothing more.
        constexpr std::size_t kKeptLimit = 65536;
        const auto previous =
            existed ? m_s.files.readPrefix(path(), kKeptLimit) : std::optional<std::string>();
        if (existed && !previous) {
            error = "cannot read the file";
        } else if (existed && !keepPreviousFile(*previous, error)) {
            failedFile = kCalBackupName;
        } else if (existed && !m_s.files.setReadOnly(path(), false)) {
            error = "cannot clear the read-only attribute";
        } else {
            ok = m_s.files.replaceContents(path(), image, error);
            if (m_s.files.exists(path()) && !m_s.files.setReadOnly(path(), true) && ok) {
                ok = false;
                error = "cannot set the read-only attribute";
            }
        }
    } catch (const std::out_of_range& e) {
        error = e.what();
    }
    if (!ok) {
        m_s.log.AddDebugLine("WriteCalFile failed: " + error);
        m_s.dialogs.messageDlg(std::string("Error writing file: ") + failedFile, MsgKind::Error,
                               {MsgButton::Abort});
    }
    m_s.log.AddDebugLine("End WriteCalFile");
    return ok;
}

// The copy is the program's own file, read-only between its writes like the calibration
// file: its read-only attribute is cleared for the copy and set again afterwards, whether or
// not the copy succeeded.
bool CalFile::keepPreviousFile(const std::string& previous, std::string& error) {
    const std::string bak = backupPath();
    const bool existed = m_s.files.exists(bak);
    bool ok = false;
    if (existed && !m_s.files.setReadOnly(bak, false))
        error = "cannot clear the read-only attribute";
    else
        ok = m_s.files.replaceContents(bak, previous, error);
    if (m_s.files.exists(bak) && !m_s.files.setReadOnly(bak, true) && ok) {
        ok = false;
        error = "cannot set the read-only attribute";
    }
    if (!ok) error = bak + ": " + error;
    return ok;
}

void CalFile::SetDefaultCal() {
    m_s.log.AddDebugLine("SetDefaultCal ");
    m_cal.CalError = true;
    if (m_s.dialogs.messageDlg("Setting Default Values ", MsgKind::Information,
                               {MsgButton::OK, MsgButton::Cancel}) != MsgButton::OK) {
        m_s.log.AddDebugLine("End SetDefaultCal ");
        return;
    }
    setCalDefaults(m_cal, static_cast<double>(todayDayNumber()));
    WriteCalFile();
    if (m_view) m_view->RefreshCal(m_cal);
    m_s.log.AddDebugLine("End SetDefaultCal ");
}

} // namespace qarn3
