#pragma once

#include "link/usblink.h"

#include <QObject>

#include <atomic>
#include <thread>

namespace qarn3 {

// The USB reader thread: reads packets into the link's ring until ReadLife runs out or it is
// asked to stop. Status lines and the end notice reach the main thread as queued calls.
class UsbReader : public QObject, public UsbReaderControl {
    Q_OBJECT
public:
    explicit UsbReader(UsbLink& link, QObject* parent = nullptr);
    ~UsbReader() override;

    void ensureRunning() override;
    void requestStop() override;
    bool running() const { return m_thread.joinable(); }

private:
    void run();
    void finished();

    UsbLink& m_link;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
};

} // namespace qarn3
