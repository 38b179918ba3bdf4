#include "link/commpanel.h"

#include <QTimer>

namespace qarn3 {

CommStatusPanel::CommStatusPanel(ComLink& link, QObject* parent) : QObject(parent), m_link(link) {
    m_link.FormCreate();
    m_link.setStatusView(this);
    CommTimer = new QTimer(this);
    CommTimer->setInterval(110);
    connect(CommTimer, &QTimer::timeout, this, [this] { m_link.CommTimerTick(); });
    CommTimer->start();
}

CommStatusPanel::~CommStatusPanel() {
    CommTimer->stop();
    m_link.setStatusView(nullptr);
}

void CommStatusPanel::showBoxes(const std::string& errorCount, const std::string& rxDataCount,
                                const std::string& commError, const std::string& maxRxData) {
    emit boxesShown(errorCount, rxDataCount, commError, maxRxData);
}

void CommStatusPanel::addErrorLine(const std::string& line) {
    m_errorLines.add(line);
    emit errorLinesChanged();
}

void CommStatusPanel::clearErrorLines() {
    m_errorLines.clear();
    emit errorLinesChanged();
}

} // namespace qarn3
