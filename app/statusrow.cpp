#include "app/statusrow.h"

#include "app/panelwidths.h"

#include <QLabel>

#include <algorithm>

namespace qarn3 {

StatusRow::StatusRow(QWidget* parent) : QWidget(parent) {
    // The row takes whatever the bar leaves; its texts never widen the window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusRow::addPanel(QLabel* panel, bool takesSpare) {
    panel->setParent(this);
    m_panels.push_back(panel);
    m_takesSpare.push_back(takesSpare);
    relayout();
}

QSize StatusRow::sizeHint() const {
    int height = 0;
    for (const QLabel* p : m_panels)
        height = std::max(height, p->sizeHint().height());
    return {0, height};
}

QSize StatusRow::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void StatusRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void StatusRow::relayout() {
    if (m_panels.empty()) return;
    std::vector<int> needed;
    for (const QLabel* p : m_panels)
        needed.push_back(std::max(p->sizeHint().width(), p->minimumWidth()));
    const int gaps = kGap * static_cast<int>(m_panels.size() - 1);
    // A panel that keeps to its text is served first: it holds a warning that must be read
    // whole. The others share what it leaves.
    int left = std::max(0, width() - gaps);
    std::vector<int> widths(m_panels.size(), 0);
    std::vector<int> sharedNeeds;
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        if (m_takesSpare[i]) {
            sharedNeeds.push_back(needed[i]);
        } else {
            widths[i] = std::min(needed[i], left);
            left -= widths[i];
        }
    }
    const std::vector<int> shared = shareWidths(sharedNeeds, left);
    for (std::size_t i = 0, k = 0; i < m_panels.size(); ++i)
        if (m_takesSpare[i]) widths[i] = shared[k++];
    int x = 0;
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        QLabel* p = m_panels[i];
        p->setGeometry(x, 0, widths[i], height());
        p->setToolTip(widths[i] < needed[i] ? p->text() : QString());
        x += widths[i] + kGap;
    }
}

} // namespace qarn3
