#pragma once

#include "diag/waits.h"

#include <QWidget>

class QLineEdit;

namespace qarn3 {

// The "Busy" window: "Please Wait:", the remaining seconds, "Seconds".
class TfmDelay : public QWidget, public BusyView {
    Q_OBJECT
public:
    explicit TfmDelay(QWidget* parent = nullptr);
    void setRemainingText(const std::string& text) override;
    QString remainingText() const;

private:
    QLineEdit* Edit1;
};

// Makes a visible busy window centred on the screen, on top of the others.
class QtBusyWindowFactory : public BusyWindowFactory {
public:
    std::unique_ptr<BusyView> createShown(const std::string& caption, int width) override;
};

} // namespace qarn3
