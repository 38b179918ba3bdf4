#pragma once

#include <QWidget>

#include <memory>

class QPlainTextEdit;
class QPushButton;

namespace qarn3 {

class DebugLog;
class LinesView;

// The debug window "fmDebug": the numbered trace lines (the newest the log keeps) and a Hide
// button. Made when View/Debug Info first shows it (the log and its clock run from the
// start-up without it). Hidden, it leaves its memo as it is and catches up when shown.
class TfmDebug : public QWidget {
    Q_OBJECT
public:
    explicit TfmDebug(DebugLog& log, QWidget* parent = nullptr);
    ~TfmDebug() override;

    void ButtonHideClick();

    QPlainTextEdit* memoDebug;
    QPushButton* btDebugHide;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    DebugLog& m_log;
    std::unique_ptr<LinesView> m_view;
};

} // namespace qarn3
