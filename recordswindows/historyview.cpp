#include "recordswindows/historyview.h"

#include "records/sessionreport.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

namespace qarn3 {

namespace {

QColor poleColour(Pole pole) {
    switch (pole) {
    case Pole::A:
        return QColor(200, 40, 40);
    case Pole::B:
        return QColor(30, 110, 200);
    case Pole::C:
        return QColor(20, 140, 60);
    case Pole::N:
        break;
    }
    return QColor(120, 80, 160);
}

const QColor kEdgeMark(230, 140, 0);

} // namespace

HistoryView::HistoryView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(300, 200);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void HistoryView::setPlot(const HistoryPlot& plot) {
    m_plot = plot;
    m_hint.clear();
    update();
}

void HistoryView::clearPlot(const QString& hint) {
    m_plot.reset();
    m_hint = hint;
    update();
}

void HistoryView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF all = QRectF(rect()).adjusted(8, 8, -8, -8);
    if (!m_plot || m_plot->panels.empty()) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(all, Qt::AlignCenter | Qt::TextWordWrap,
                   m_plot ? QString("No results judged against a band yet.") : m_hint);
        return;
    }
    const QFontMetricsF fm(font());
    // The legend: one entry a pole drawn anywhere, and the edge mark.
    std::vector<Pole> poles;
    for (const HistoryPanel& panel : m_plot->panels)
        for (const HistoryLine& l : panel.lines)
            if (std::find(poles.begin(), poles.end(), l.pole) == poles.end())
                poles.push_back(l.pole);
    std::sort(poles.begin(), poles.end());
    double x = all.left();
    const double legendY = all.top() + fm.ascent();
    for (Pole pole : poles) {
        p.setPen(QPen(poleColour(pole), 2));
        p.drawLine(QPointF(x, legendY - fm.ascent() / 3),
                   QPointF(x + 18, legendY - fm.ascent() / 3));
        p.setPen(palette().color(QPalette::Text));
        const QString name = "Pole " + QString::fromStdString(poleText(pole));
        p.drawText(QPointF(x + 22, legendY), name);
        x += 22 + fm.horizontalAdvance(name) + 14;
    }
    p.setPen(QPen(kEdgeMark, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(x + 5, legendY - fm.ascent() / 3), 5, 5);
    p.setPen(palette().color(QPalette::Text));
    p.drawText(QPointF(x + 14, legendY), "moved toward an edge by more than a quarter of the band");

    const double top = all.top() + fm.height() + 6;
    const double bottomAxis = fm.height() + 4;
    const double each =
        (all.bottom() - bottomAxis - top) / static_cast<double>(m_plot->panels.size());
    for (std::size_t i = 0; i < m_plot->panels.size(); ++i)
        drawPanel(p, m_plot->panels[i],
                  QRectF(all.left(), top + each * static_cast<double>(i), all.width(), each));
    // The sessions' dates under the last panel.
    const double left = all.left() + fm.horizontalAdvance("-100 %") + 10;
    const double width = all.right() - fm.horizontalAdvance("200 %") - 10 - left;
    const int n = static_cast<int>(m_plot->sessions.size());
    const double dateW = fm.horizontalAdvance("2026-12-08") + 8;
    const int step = std::max(1, static_cast<int>(std::ceil(dateW * n / std::max(width, 1.0))));
    p.setPen(palette().color(QPalette::Text));
    for (int s = 0; s < n; s += step) {
        const double sx = historyX(s, n, left, width);
        p.drawText(QRectF(sx - dateW / 2, all.bottom() - bottomAxis + 2, dateW, fm.height()),
                   Qt::AlignCenter,
                   QString::fromStdString(m_plot->sessions[static_cast<std::size_t>(s)]));
    }
}

void HistoryView::drawPanel(QPainter& p, const HistoryPanel& panel, const QRectF& area) const {
    const QFontMetricsF fm(font());
    const double left = area.left() + fm.horizontalAdvance("-100 %") + 10;
    const double right = area.right() - fm.horizontalAdvance("200 %") - 10;
    const double top = area.top() + fm.height() + 2, height = area.bottom() - 6 - top;
    const double width = right - left;
    const int n = m_plot ? static_cast<int>(m_plot->sessions.size()) : 0;
    const QColor text = palette().color(QPalette::Text);
    p.setPen(text);
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRectF(left, area.top(), width, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(panel.title) + ": position in the band");
    p.setFont(font());
    // The band's edges dashed, its middle dotted, the frame round the extent.
    p.setPen(QPen(palette().color(QPalette::Mid), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(left, top, width, height));
    for (double percent : {0.0, 50.0, 100.0}) {
        const double y = historyY(percent, panel.low, panel.high, top, height);
        p.setPen(QPen(percent == 50 ? palette().color(QPalette::Mid) : text, 1,
                      percent == 50 ? Qt::DotLine : Qt::DashLine));
        p.drawLine(QPointF(left, y), QPointF(right, y));
        p.setPen(text);
        p.drawText(QRectF(area.left(), y - fm.height() / 2, left - area.left() - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(static_cast<int>(percent)) + " %");
    }
    for (const HistoryLine& line : panel.lines) {
        const QColor c = poleColour(line.pole);
        QPainterPath path;
        for (std::size_t i = 0; i < line.marks.size(); ++i) {
            const HistoryMark& m = line.marks[i];
            const QPointF at(historyX(m.session, n, left, width),
                             historyY(m.shownPercent, panel.low, panel.high, top, height));
            if (i == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        p.setPen(QPen(c, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        for (const HistoryMark& m : line.marks) {
            const QPointF at(historyX(m.session, n, left, width),
                             historyY(m.shownPercent, panel.low, panel.high, top, height));
            p.setPen(QPen(c, 1.5));
            p.setBrush(m.outside ? QBrush(Qt::white) : QBrush(c));
            if (m.clipped) {
                // A triangle at the edge pointing to where the point lies.
                const double d = m.percent > panel.high ? -1 : 1;
                p.drawPolygon(
                    QPolygonF({at + QPointF(0, 7 * d), at + QPointF(-5, 0), at + QPointF(5, 0)}));
            } else {
                p.drawEllipse(at, 3.5, 3.5);
            }
            if (m.movedTowardEdge) {
                p.setPen(QPen(kEdgeMark, 2));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(at, 7.5, 7.5);
            }
            if (!m.label.empty()) {
                p.setPen(c);
                p.drawText(QPointF(at.x() + 9, at.y() + (m.percent < 0 ? -4 : fm.ascent())),
                           QString::fromStdString(m.label));
            }
        }
    }
}

} // namespace qarn3
