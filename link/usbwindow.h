#pragma once

#include "diag/boundedlines.h"
#include "link/usblink.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QTimer;

namespace qarn3 {

class LinesView;

// The "USB Test" window: the USB link's device box, counters, elapsed stream time and status
// list. A thin view of the link, which reports into it; its 200 ms timer refreshes the
// counters while sampling. The status list keeps the newest kMaxStatusLines lines and is
// brought up to date only while the window is shown.
class TfmUSB : public QWidget, public UsbLinkView {
    Q_OBJECT
public:
    TfmUSB(UsbLink& link, char decimalSeparator, QWidget* parent = nullptr);
    ~TfmUSB() override;

    // UsbLinkView
    void addStatus(const std::string& line) override;
    void setDeviceText(const std::string& text) override;
    void setTimerEnabled(bool on) override;

    // One tick of the timer (public for tests).
    void USBTimerTick();

    QComboBox* ComboBox1;
    QLineEdit* ebUSBError;
    QLineEdit* Edit2;
    QLineEdit* ebUSBRxData;
    QLineEdit* ebUSBMaxRxData;
    QPlainTextEdit* Memo1;
    QTimer* USBTimer;

    static constexpr std::size_t kMaxStatusLines = 1000;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    UsbLink& m_link;
    char m_separator;
    BoundedLines m_status{kMaxStatusLines};
    std::unique_ptr<LinesView> m_statusView;
};

} // namespace qarn3
