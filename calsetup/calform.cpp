#include "calsetup/calform.h"

#include "calsetup/caldate.h"
#include "diag/debuglog.h"
#include "platform/dialogs.h"
#include "platform/textformat.h"

#include <algorithm>
#include <cmath>

namespace qarn3 {

namespace {
// The largest values the fixed-width image holds: two and three digits, a factor in 8
// characters with 6 decimals, an averaging time in 6 with 3, a day number in 5 digits.
constexpr std::int32_t kTwoDigitMax = 99;
constexpr std::int32_t kThreeDigitMax = 999;
constexpr long kLastDay = 99999;
} // namespace

std::int32_t NumberLimits::clamp(long long value) const {
    return static_cast<std::int32_t>(std::clamp<long long>(value, min, max));
}

std::int32_t NumberLimits::valueOf(const std::string& text) const {
    try {
        return clamp(parseInteger(text));
    } catch (const ConvertError&) {
        return min;
    }
}

NumberLimits limitsOf(CalNumber field) {
    switch (field) {
    case CalNumber::OnThresh:
        return {5, 99, 1};
    case CalNumber::MPUThresh:
        return {50, 500, 10};
    case CalNumber::OnDelay:
        return {1, 20, 1};
    case CalNumber::OffThresh:
        return {5, 200, 1};
    case CalNumber::OffDelay:
        return {1, 20, 1};
    }
    return {0, 0, 1};
}

const char* captionOf(CalNumber field) {
    switch (field) {
    case CalNumber::OnThresh:
        return "On Threshold";
    case CalNumber::MPUThresh:
        return "MPU Threshold";
    case CalNumber::OnDelay:
        return "On Delay";
    case CalNumber::OffThresh:
        return "Off Threshold";
    case CalNumber::OffDelay:
        return "Off Delay";
    }
    return "";
}

std::int32_t& recordField(TCalRecord& r, CalNumber field) {
    switch (field) {
    case CalNumber::OnThresh:
        return r.OnThresh;
    case CalNumber::MPUThresh:
        return r.MPUThresh;
    case CalNumber::OnDelay:
        return r.OnDelay;
    case CalNumber::OffThresh:
        return r.OffThresh;
    case CalNumber::OffDelay:
        break;
    }
    return r.OffDelay;
}

// The stored single-precision value is compared with the decimal limit in double precision,
// so a factor entered as 0.001 (stored just above it) still steps down once.
float factorStepUp(float factor) {
    return static_cast<double>(factor) < 0.002 ? static_cast<float>(factor + 0.000001) : factor;
}

float factorStepDown(float factor) {
    return static_cast<double>(factor) > 0.001 ? static_cast<float>(factor - 0.000001) : factor;
}

CalForm::CalForm(TCalRecord& record, CalFile& file, CalWindowHost& host, const ShortDates& dates,
                 DialogService& dialogs, DebugLog& log)
    : m_cal(record), m_file(file), m_host(host), m_dates(dates), m_dialogs(dialogs), m_log(log) {}

void CalForm::setView(CalFormView* view) {
    m_view = view;
    if (!m_view) return;
    if (m_refreshUnshown) showRecord();
    for (int r = 1; r <= 8; ++r)
        if (const auto& text = m_factorUnshown[static_cast<std::size_t>(r - 1)])
            m_view->setFactorText(r, *text);
    if (m_avgTimeUnshown) m_view->setAvgTimeText(*m_avgTimeUnshown);
    if (m_serNumUnshown) m_view->setSerNumText(*m_serNumUnshown);
    if (m_calDateUnshown) m_view->setCalDateText(*m_calDateUnshown);
    m_refreshUnshown = false;
    m_factorUnshown = {};
    m_avgTimeUnshown.reset();
    m_serNumUnshown.reset();
    m_calDateUnshown.reset();
}

void CalForm::setFactorText(int range, const std::string& text) {
    if (m_view)
        m_view->setFactorText(range, text);
    else if (range >= 1 && range <= 8)
        m_factorUnshown[static_cast<std::size_t>(range - 1)] = text;
}
void CalForm::setAvgTimeText(const std::string& text) {
    if (m_view)
        m_view->setAvgTimeText(text);
    else
        m_avgTimeUnshown = text;
}
void CalForm::setSerNumText(const std::string& text) {
    if (m_view)
        m_view->setSerNumText(text);
    else
        m_serNumUnshown = text;
}
void CalForm::setCalDateText(long dayNumber) {
    if (m_view)
        m_view->setCalDateText(dayNumber);
    else
        m_calDateUnshown = dayNumber;
}
void CalForm::RefreshCal(const TCalRecord&) {
    RefreshCal();
}

void CalForm::FormShow() {
    m_log.AddDebugLine("fmCal.OnShow ");
}

void CalForm::FormActivate() {
    m_log.AddDebugLine("fmCal.OnActivate ");
    try {
        if (m_host.demoMode())
            m_file.ReadCalFile();
        else
            m_host.GetCalData();
    } catch (const std::exception& e) {
        m_dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
    }
    // Shown even when the read failed, so that no earlier opening's texts are left in the
    // fields for SAVE to take.
    RefreshCal();
}

void CalForm::FormClose() {
    m_log.AddDebugLine("fmCal.OnClose ");
}

void CalForm::RefreshCal() {
    m_log.AddDebugLine("RefreshCal ");
    if (m_view) {
        showRecord();
        return;
    }
    // Shown when a window is made: every field anew, whatever a parse put there before.
    m_refreshUnshown = true;
    m_factorUnshown = {};
    m_avgTimeUnshown.reset();
    m_serNumUnshown.reset();
    m_calDateUnshown.reset();
}

void CalForm::showRecord() {
    const auto labels = m_host.rangeLabels();
    for (int r = 1; r <= 8; ++r) {
        const auto i = static_cast<std::size_t>(r - 1);
        m_view->setRangeLabel(r, labels[i]);
        m_view->setFactorText(r, formatFixed(m_cal.Factor[i], 8, 6));
    }
    for (CalNumber f : kCalNumbers) {
        // The record takes the value the field shows, also when the text does not change.
        std::int32_t& value = recordField(m_cal, f);
        value = limitsOf(f).clamp(value);
        m_view->setNumberText(f, std::to_string(value));
    }
    m_view->setAvgTimeText(formatFixed(m_cal.AvgTime, 0, 3));
    m_view->setSerNumText(m_cal.SerNum);
    m_view->setDateText(m_dates.format(std::lround(m_cal.CalDate)));
}

void CalForm::numberChanged(CalNumber field, const std::string& text) {
    recordField(m_cal, field) = limitsOf(field).valueOf(text);
}

void CalForm::numberLeft(CalNumber field) {
    if (!m_view) return;
    const std::string text = m_view->numberText(field);
    const std::string limited = std::to_string(limitsOf(field).valueOf(text));
    if (limited != text) m_view->setNumberText(field, limited);
}

void CalForm::numberStep(CalNumber field, int direction) {
    if (!m_view) return;
    const NumberLimits l = limitsOf(field);
    const long long value = l.valueOf(m_view->numberText(field)) + direction * l.step;
    m_view->setNumberText(field, std::to_string(l.clamp(value)));
}

void CalForm::CalAvgTimeChange(const std::string& text) {
    try {
        m_cal.AvgTime = parseReal(text);
    } catch (const ConvertError& e) {
        convertError(e.what());
    }
    RefreshCal();
}

void CalForm::avgTimeEdited(const std::string& text) {
    try {
        m_cal.AvgTime = parseReal(text);
    } catch (const ConvertError&) {
        // A half-typed number ("", "."): the record keeps its value until the field is left.
    }
}

void CalForm::avgTimeFinished(const std::string& text) {
    try {
        m_cal.AvgTime = parseReal(text);
    } catch (const ConvertError& e) {
        convertError(e.what());
    }
    if (m_view) m_view->setAvgTimeText(formatFixed(m_cal.AvgTime, 0, 3));
}

void CalForm::btTodayClick() {
    // The day only: a time of day would round the stored date up to tomorrow after noon.
    m_cal.CalDate = static_cast<double>(todayDayNumber());
    RefreshCal();
}

void CalForm::adjust(float (*step)(float)) {
    if (adjustAll) {
        for (float& f : m_cal.Factor)
            f = step(f);
    } else if (const int r = m_view ? m_view->focusedFactor() : 0; r >= 1 && r <= 8) {
        float& f = m_cal.Factor[static_cast<std::size_t>(r - 1)];
        f = step(f);
    }
    RefreshCal();
}

void CalForm::SpinBtnAdjustUpClick() {
    adjust(factorStepUp);
}

void CalForm::SpinBtnAdjustDownClick() {
    adjust(factorStepDown);
}

bool CalForm::SaveButtonClick() {
    m_log.AddDebugLine("frmCalibration.SaveButtonClick ");
    bool closed = false;
    if (takeFields()) {
        m_file.WriteCalFile(); // a cancelled or failed write keeps the old file
        // The analyzer is offered only an image that read back cleanly from the file, so that
        // both hold the same calibration.
        m_cal.CalError = true;
        try {
            m_file.ReadCalFile();
        } catch (const std::exception& e) {
            m_dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
        }
        if (!m_cal.CalError) {
            m_host.sendCalImage(m_cal.CalImage);
            if (m_view) m_view->closeWindow();
            closed = true;
        }
    }
    m_log.AddDebugLine("End frmCalibration.SaveButtonClick ");
    return closed;
}

// The fields in order; the first that does not convert, or does not fit the image, stops
// SAVE with a message. Fields taken before it keep their new values.
bool CalForm::takeFields() {
    if (!m_view) return false;
    for (int r = 1; r <= 8; ++r) {
        const std::string text = m_view->factorText(r);
        double value = 0;
        try {
            value = parseReal(text);
        } catch (const ConvertError& e) {
            convertError(e.what());
            return false;
        }
        float f = value >= 0 && value < 10 ? static_cast<float>(value) : -1.0f;
        if (f == 0) f = 0; // no "-0.000000"
        if (f < 0 || formatFixed(f, 8, 6).size() != 8)
            return refuse(factorName(r), trimText(text), "0.000000", "9.999999");
        m_cal.Factor[static_cast<std::size_t>(r - 1)] = f;
    }
    for (CalNumber field : kCalNumbers) {
        const std::int32_t value = limitsOf(field).valueOf(m_view->numberText(field));
        recordField(m_cal, field) = value;
        const std::int32_t highest = field == CalNumber::MPUThresh ? kThreeDigitMax : kTwoDigitMax;
        if (value < 0 || value > highest)
            return refuse(captionOf(field), std::to_string(value), "0", std::to_string(highest));
    }
    const std::string avgText = m_view->avgTimeText();
    double avg = 0;
    try {
        avg = parseReal(avgText);
    } catch (const ConvertError& e) {
        convertError(e.what());
        return false;
    }
    if (avg == 0) avg = 0;
    if (!(avg >= 0) || formatFixed(avg, 6, 3).size() != 6)
        return refuse("Average Time", trimText(avgText), "0.000", "99.999");
    m_cal.AvgTime = avg;

    std::string serial = m_view->serNumText();
    for (char& c : serial)
        if (static_cast<unsigned char>(c) < ' ') c = ' ';
    serial.resize(10, ' ');
    m_cal.SerNum = serial;

    const std::string dateText = m_view->dateText();
    const std::optional<long> day = m_dates.parse(dateText);
    if (!day) {
        convertError("'" + dateText + "' is not a valid date");
        return false;
    }
    if (*day < 0 || *day > kLastDay)
        return refuse("Date", trimText(dateText), m_dates.format(0), m_dates.format(kLastDay));
    m_cal.CalDate = static_cast<double>(*day);
    return true;
}

bool CalForm::refuse(const std::string& field, const std::string& value, const std::string& lowest,
                     const std::string& highest) {
    m_dialogs.messageDlg(field + " " + value +
                             " does not fit the calibration: it holds values from " + lowest +
                             " to " + highest + ".",
                         MsgKind::Error, {MsgButton::OK});
    return false;
}

std::string CalForm::factorName(int range) const {
    const std::string label = trimText(m_host.rangeLabels()[static_cast<std::size_t>(range - 1)]);
    return "Factor " + (label.empty() ? std::to_string(range) : label);
}

void CalForm::convertError(const std::string& message) {
    m_dialogs.messageDlg(message, MsgKind::Error, {MsgButton::OK});
}

} // namespace qarn3
