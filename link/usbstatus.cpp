#include "link/usbstatus.h"

#include "link/protocol.h"
#include "link/usblink.h"
#include "platform/textformat.h"

#include <QTimer>

namespace qarn3 {

std::string usbElapsedText(std::uint32_t receivedChars, char decimalSeparator) {
    return formatFixed(static_cast<double>(receivedChars) / kCharsPerSecond, 8, 4,
                       decimalSeparator) +
           " sec";
}

UsbStatusTick USBTimerTick(UsbLink& link, char decimalSeparator) {
    UsbStatusTick t;
    RxErrorState& errors = link.errors();
    const std::int32_t rxData = link.RxDataCount;
    if (rxData > link.MaxRxData) link.MaxRxData = rxData;
    t.errorCount = std::to_string(errors.ErrorCount);
    t.rxDataCount = std::to_string(rxData);
    t.maxRxData = std::to_string(link.MaxRxData);
    const std::uint32_t received = link.ReceivedChars;
    if (errors.RxErrorFlags != 0) {
        t.lines.push_back(
            "Error at " +
            formatFixed(static_cast<double>(received) / kCharsPerSecond, 0, 6, decimalSeparator) +
            " seconds");
        if (errors.RxErrorFlags & rxerr::FirstChar) t.lines.emplace_back("Error Type = FirstChar");
        if (errors.RxErrorFlags & rxerr::SecondChar)
            t.lines.emplace_back("Error Type = SecondChar");
        if (errors.RxErrorFlags & rxerr::CharMatch) t.lines.emplace_back("Error Type = CharMatch");
        errors.RxErrorFlags = 0;
    }
    t.elapsed = usbElapsedText(received, decimalSeparator);
    return t;
}

UsbTestPanel::UsbTestPanel(UsbLink& link, char decimalSeparator, QObject* parent)
    : QObject(parent), m_link(link), m_separator(decimalSeparator) {
    USBTimer = new QTimer(this);
    USBTimer->setInterval(200);
    connect(USBTimer, &QTimer::timeout, this, &UsbTestPanel::USBTimerTick);
    m_link.setView(this);
}

UsbTestPanel::~UsbTestPanel() {
    m_link.setView(nullptr);
}

void UsbTestPanel::addStatus(const std::string& line) {
    m_lines.add(line);
    emit changed();
}

void UsbTestPanel::setDeviceText(const std::string& text) {
    m_device = text;
    emit changed();
}

void UsbTestPanel::setTimerEnabled(bool on) {
    if (on)
        USBTimer->start();
    else
        USBTimer->stop();
}

void UsbTestPanel::USBTimerTick() {
    m_tick = qarn3::USBTimerTick(m_link, m_separator);
    for (const std::string& line : m_tick.lines)
        m_lines.add(line);
    emit changed();
}

} // namespace qarn3
