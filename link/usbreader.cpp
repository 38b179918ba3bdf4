#include "link/usbreader.h"

#include "diag/debuglog.h"

#include <QMetaObject>

namespace qarn3 {

UsbReader::UsbReader(UsbLink& link, QObject* parent) : QObject(parent), m_link(link) {}

UsbReader::~UsbReader() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

void UsbReader::ensureRunning() {
    m_link.ReadLife = kReadLifeFull;
    if (m_thread.joinable() && !m_done) return;
    if (m_thread.joinable()) m_thread.join(); // ended, its notice not yet handled
    m_stop = false;
    m_done = false;
    m_thread = std::thread([this] { run(); });
}

void UsbReader::requestStop() {
    m_stop = true;
    // A read waits at most 100 ms, so the thread notices the request promptly.
    if (m_thread.joinable()) m_thread.join();
}

void UsbReader::run() {
    m_link.log().AddDebugLine("Thread Running ");
    QMetaObject::invokeMethod(
        this, [this] { m_link.view().addStatus("Thread Running"); }, Qt::QueuedConnection);
    bool timedOut = false;
    while (true) {
        if (m_link.ReadLife <= 0) {
            timedOut = true;
            break;
        }
        if (m_stop) break;
        if (!m_link.readerPoll()) --m_link.ReadLife;
    }
    if (timedOut) {
        QMetaObject::invokeMethod(
            this, [this] { m_link.view().addStatus("Thread Timeout"); }, Qt::QueuedConnection);
        m_link.log().AddDebugLine("Thread Timeout ");
    }
    m_done = true;
    QMetaObject::invokeMethod(
        this, [this] { finished(); }, Qt::QueuedConnection);
}

void UsbReader::finished() {
    // Forget the ended thread; the next send creates a new one.
    if (m_done && m_thread.joinable()) m_thread.join();
    m_link.view().addStatus("Thread terminated and nil");
}

} // namespace qarn3
