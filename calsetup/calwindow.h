#pragma once

#include "calsetup/calform.h"

#include <QDialog>

#include <array>
#include <memory>

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace qarn3 {

struct Services;

// The calibration window: the eight range factors, the detector's thresholds and delays,
// averaging time, serial number and date, with the adjust arrows and SAVE. Shown modally by
// the Calibrate command (made when first shown); its logic is CalForm: the program's, made at
// the start-up and the calibration file's view, or one of its own.
class TfmCal : public QDialog, public CalFormView {
    Q_OBJECT
public:
    TfmCal(CalForm& form, const ShortDates& dates, QWidget* parent = nullptr);
    TfmCal(TCalRecord& record, CalFile& file, CalWindowHost& host, const ShortDates& dates,
           Services& services, QWidget* parent = nullptr);
    ~TfmCal() override;

    CalForm& form() { return m_form; }
    // The opening read has run since the window was last shown.
    bool opened() const { return m_opened; }

    // CalFormView
    void setFactorText(int range, const std::string& text) override;
    void setAvgTimeText(const std::string& text) override;
    void setSerNumText(const std::string& text) override;
    void setCalDateText(long dayNumber) override;
    void RefreshCal(const TCalRecord& record) override;
    void setRangeLabel(int range, const std::string& text) override;
    std::string factorText(int range) const override;
    void setNumberText(CalNumber field, const std::string& text) override;
    std::string numberText(CalNumber field) const override;
    std::string avgTimeText() const override;
    std::string serNumText() const override;
    void setDateText(const std::string& text) override;
    std::string dateText() const override;
    int focusedFactor() const override;
    void closeWindow() override;

    QLineEdit* factorField(int range) const {
        return m_factors[static_cast<std::size_t>(range - 1)];
    }
    QLineEdit* numberField(CalNumber field) const;

    std::array<QLabel*, 8> rangeLabels{};
    QLineEdit* CalFactor1;
    QLineEdit* CalFactor2;
    QLineEdit* CalFactor3;
    QLineEdit* CalFactor4;
    QLineEdit* CalFactor5;
    QLineEdit* CalFactor6;
    QLineEdit* CalFactor7;
    QLineEdit* CalFactor8;
    QLineEdit* CalOnThresh;
    QLineEdit* CalMPUThresh;
    QLineEdit* CalOnDelay;
    QLineEdit* CalOffThresh;
    QLineEdit* CalOffDelay;
    std::array<QToolButton*, 5> numberUp{};
    std::array<QToolButton*, 5> numberDown{};
    QComboBox* CalAvgTime;
    QLineEdit* CalSerNum;
    QLineEdit* CalDate;
    QPushButton* btToday;
    QButtonGroup* RadioGroup1;
    QRadioButton* rbAll;
    QRadioButton* rbSelected;
    QToolButton* SpinBtnAdjustUp;
    QToolButton* SpinBtnAdjustDown;
    QPushButton* SaveButton;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void done(int result) override;
    void reject() override;

private:
    void buildControls();
    void buildFactorFields(QGridLayout* grid);
    void buildNumberFields(QGridLayout* grid);
    void buildTimeSerialAndDate(QGridLayout* grid);
    void buildAdjust(QGridLayout* grid);
    void activate();
    void save();

    const ShortDates& m_dates;
    std::unique_ptr<CalForm> m_ownForm;
    CalForm& m_form;
    CalFile* m_ownFile = nullptr; // the file whose view the own form is
    std::array<QLineEdit*, 8> m_factors{};
    std::array<QLineEdit*, 5> m_numbers{};
    bool m_activatePending = false;
    bool m_busy = false; // reading or saving: the links' waits let input through
    bool m_opened = false;
};

} // namespace qarn3
