#pragma once

#include <QWidget>

#include <memory>

class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qarn3 {

class DebugLog;
class LinesView;

// The debug window "fmDebug": the numbered trace lines (the newest the log keeps), a Hide
// button and the 100 ms debug timer whose ticks stamp the lines. Created hidden at start-up;
// View/Debug Info shows it. Hidden, it leaves its memo as it is and catches up when shown.
class TfmDebug : public QWidget {
    Q_OBJECT
public:
    explicit TfmDebug(DebugLog& log, QWidget* parent = nullptr);
    ~TfmDebug() override;

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
    std::unique_ptr<LinesView> m_view;
};

} // namespace qarn3
