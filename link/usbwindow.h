#pragma once

#include "link/usbstatus.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace qarn3 {

class LinesView;

// The "USB Test" window: the USB link's device box, counters, elapsed stream time and status
// list, as its panel keeps them (made when Hardware Status first shows it). The status list
// is brought up to date only while the window is shown.
class TfmUSB : public QWidget {
    Q_OBJECT
public:
    explicit TfmUSB(UsbTestPanel& panel, QWidget* parent = nullptr);
    ~TfmUSB() override;

    QComboBox* ComboBox1;
    QLineEdit* ebUSBError;
    QLineEdit* Edit2;
    QLineEdit* ebUSBRxData;
    QLineEdit* ebUSBMaxRxData;
    QPlainTextEdit* Memo1;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPanel();

    UsbTestPanel& m_panel;
    std::unique_ptr<LinesView> m_statusView;
};

} // namespace qarn3
