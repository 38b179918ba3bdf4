#pragma once

#include <QWidget>

class QPlainTextEdit;
class QTimer;

namespace qarn3 {

class DebugLog;

// The debug window: the numbered trace lines, a Hide button and the 100 ms debug timer.
class TfmDebug : public QWidget {
    Q_OBJECT
public:
    explicit TfmDebug(DebugLog& log, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void DebugTimerTick();

    DebugLog& m_log;
    QPlainTextEdit* memoDebug;
    QTimer* DebugTimer;
};

} // namespace qarn3
