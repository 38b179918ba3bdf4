#pragma once

#include "calsetup/cal.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qarn3 {

class CalFile;
class DebugLog;
class DialogService;
class ShortDates;

constexpr const char* kAccessCode = "6917";

// The password dialog of one Calibrate command.
class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    // Shows the dialog modally with "Calibration Date: " + calDateText; true when it ended
    // with the right access code.
    virtual bool execute(const std::string& calDateText) = 0;
};

// The calibration window's whole-number fields, in the order they are shown and taken.
enum class CalNumber { OnThresh, MPUThresh, OnDelay, OffThresh, OffDelay };
constexpr std::array<CalNumber, 5> kCalNumbers{CalNumber::OnThresh, CalNumber::MPUThresh,
                                               CalNumber::OnDelay, CalNumber::OffThresh,
                                               CalNumber::OffDelay};

// Limits of a whole-number field. Setting a value brings it into the limits; a text that is
// not a whole number reads as the lower limit.
struct NumberLimits {
    std::int32_t min, max, step;
    std::int32_t clamp(long long value) const;
    std::int32_t valueOf(const std::string& text) const;
};
NumberLimits limitsOf(CalNumber field);
const char* captionOf(CalNumber field); // "On Threshold", ...
std::int32_t& recordField(TCalRecord& r, CalNumber field);

// One step of the adjust arrows on a factor: up while below 0.002, down while above 0.001,
// by 0.000001, the sum rounded to single precision.
float factorStepUp(float factor);
float factorStepDown(float factor);

// What the calibration window needs of the program.
class CalWindowHost {
public:
    virtual ~CalWindowHost() = default;
    virtual bool demoMode() const = 0;
    // Fetches the calibration from the analyzer (or the file without one).
    virtual bool GetCalData() = 0;
    virtual std::array<std::string, 8> rangeLabels() const = 0;
    // Offers the image to the analyzer on the active link; each link asks first.
    virtual void sendCalImage(const std::string& image) = 0;
};

// The calibration window's controls as its logic reads and sets them. Setting a number
// field's text raises its change handler, as typing does.
class CalFormView : public CalFieldsView {
public:
    virtual void setRangeLabel(int range, const std::string& text) = 0;
    virtual std::string factorText(int range) const = 0;
    virtual void setNumberText(CalNumber field, const std::string& text) = 0;
    virtual std::string numberText(CalNumber field) const = 0;
    virtual std::string avgTimeText() const = 0;
    virtual std::string serNumText() const = 0;
    virtual void setDateText(const std::string& text) = 0;
    virtual std::string dateText() const = 0;
    // The range (1..8) whose factor field has the keyboard focus, 0 when none has.
    virtual int focusedFactor() const = 0;
    virtual void closeWindow() = 0;
};

// The calibration window without its widgets: opening, the field rules, Today, the adjust
// arrows and SAVE, on the program's calibration record.
//
// It is also the calibration file's view of the window's fields (made at the start-up, before
// the window): what a parse shows goes on to the window when there is one, and a refresh is
// logged whether or not there is.
class CalForm : public CalFieldsView {
public:
    CalForm(TCalRecord& record, CalFile& file, CalWindowHost& host, const ShortDates& dates,
            DialogService& dialogs, DebugLog& log);

    // The window from now on (none: it is gone). A window made after the calibration file
    // filled its fields is shown what it would have held, had it been made at the start-up.
    void setView(CalFormView* view);

    // CalFieldsView, for the calibration file.
    void setFactorText(int range, const std::string& text) override;
    void setAvgTimeText(const std::string& text) override;
    void setSerNumText(const std::string& text) override;
    void setCalDateText(long dayNumber) override;
    void RefreshCal(const TCalRecord& record) override;

    void FormShow();
    // Reads the calibration (the file in demonstration mode, else the analyzer) and shows it.
    void FormActivate();
    void FormClose();
    void RefreshCal();

    // Change handlers of the number fields: the value goes into the record at once.
    void numberChanged(CalNumber field, const std::string& text);
    // The field lost the focus: a value outside the limits is shown at the nearest limit.
    void numberLeft(CalNumber field);
    // The field's arrows: one step up (+1) or down (-1).
    void numberStep(CalNumber field, int direction);

    // Choosing an averaging time from the list: the record takes it and the field shows it.
    void CalAvgTimeChange(const std::string& text);
    // Typing into it: a number goes into the record at once, the text is left as typed.
    void avgTimeEdited(const std::string& text);
    // Leaving it: as choosing; a text that is not a number is refused with a message.
    void avgTimeFinished(const std::string& text);

    void btTodayClick();
    void SpinBtnAdjustUpClick();
    void SpinBtnAdjustDownClick();
    bool adjustAll = true; // RadioGroup1: "All" (true) or "Selected"

    // Takes the fields, writes and reads back the file, sends the image and closes. False
    // when a field stops it (the window stays open, nothing written or sent).
    bool SaveButtonClick();

private:
    void adjust(float (*step)(float));
    bool takeFields();
    bool refuse(const std::string& field, const std::string& value, const std::string& lowest,
                const std::string& highest);
    std::string factorName(int range) const;
    void convertError(const std::string& message);

    TCalRecord& m_cal;
    CalFile& m_file;
    CalWindowHost& m_host;
    const ShortDates& m_dates;
    DialogService& m_dialogs;
    DebugLog& m_log;
    CalFormView* m_view = nullptr;
    // What the file put in the fields while there was no window: every field refreshed from
    // the record, then the texts of a parse.
    void showRecord();
    bool m_refreshUnshown = false;
    std::array<std::optional<std::string>, 8> m_factorUnshown;
    std::optional<std::string> m_avgTimeUnshown, m_serNumUnshown;
    std::optional<long> m_calDateUnshown;
};

} // namespace qarn3
