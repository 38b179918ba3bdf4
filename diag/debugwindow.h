#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qarn3 {

class DebugLog;

// The debug window "fmDebug": the numbered trace lines, a Hide button and the 100 ms debug
// timer whose ticks stamp the lines. Created hidden at start-up; View/Debug Info shows it.
class TfmDebug : public QWidget {
    Q_OBJECT
public:
    explicit TfmDebug(DebugLog& log, QWidget* parent = nullptr);

    void ButtonHideClick();
    void DebugTimerTick();

    QPlainTextEdit* memoDebug;
    QPushButton* btDebugHide;
    QTimer* DebugTimer;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    DebugLog& m_log;
};

} // namespace qarn3
