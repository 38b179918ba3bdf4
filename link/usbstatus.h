#pragma once

#include "diag/boundedlines.h"
#include "link/usblink.h"

#include <QObject>

#include <cstdint>
#include <string>
#include <vector>

class QTimer;

namespace qarn3 {

// What the "USB Test" window shows after one tick of its 200 ms timer.
struct UsbStatusTick {
    std::string errorCount;
    std::string rxDataCount;
    std::string maxRxData;
    std::string elapsed;
    std::vector<std::string> lines; // added to the status list, in order
};

// One tick: shows the counters, raises MaxRxData, lists the receive error kinds seen since
// the last tick (then clears them) and the elapsed stream time.
UsbStatusTick USBTimerTick(UsbLink& link, char decimalSeparator);

// The stream time of a received character count at 4800 characters a second, "%8.4f sec".
std::string usbElapsedText(std::uint32_t receivedChars, char decimalSeparator);

// What the "USB Test" window shows, kept from the start-up whether or not the window has been
// made: the link reports into it (status lines, device text), and its 200 ms timer, which the
// link switches on while sampling, refreshes the counters and lists the receive errors. The
// status list keeps the newest kMaxStatusLines lines.
class UsbTestPanel : public QObject, public UsbLinkView {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxStatusLines = 1000;

    UsbTestPanel(UsbLink& link, char decimalSeparator, QObject* parent = nullptr);
    ~UsbTestPanel() override;

    // UsbLinkView
    void addStatus(const std::string& line) override;
    void setDeviceText(const std::string& text) override;
    void setTimerEnabled(bool on) override;

    // One tick of the timer (public for tests).
    void USBTimerTick();

    const BoundedLines& lines() const { return m_lines; }
    // Empty until the link names the device.
    const std::string& deviceText() const { return m_device; }
    // The last tick's counters; empty before the first tick.
    const UsbStatusTick& lastTick() const { return m_tick; }

    QTimer* USBTimer;

signals:
    // The lines, the device text or the counters changed.
    void changed();

private:
    UsbLink& m_link;
    char m_separator;
    BoundedLines m_lines{kMaxStatusLines};
    std::string m_device;
    UsbStatusTick m_tick;
};

} // namespace qarn3
