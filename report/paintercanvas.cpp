#include "report/paintercanvas.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygon>

#include <cmath>

namespace qarn3 {

PainterCanvas::PainterCanvas(QPainter& painter, const QRect& area, double lineScale)
    : m_p(painter), m_area(area), m_lineScale(lineScale) {
    m_p.save();
    m_p.setClipRect(area);
    m_p.translate(area.topLeft());
    m_p.setRenderHint(QPainter::Antialiasing, true);
    m_font.setFamily("DejaVu Sans");
    m_font.setStyleHint(QFont::SansSerif);
    m_font.setStyleStrategy(QFont::PreferNoShaping); // no ligatures: the PDF's text searchable
    m_font.setPointSizeF(8);
    m_p.setFont(m_font);
}

PainterCanvas::~PainterCanvas() {
    m_p.restore();
}

QColor PainterCanvas::colour(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void PainterCanvas::fill(std::uint32_t c) {
    m_p.fillRect(QRect(0, 0, m_area.width(), m_area.height()), colour(c));
}

void PainterCanvas::setPen(std::uint32_t c, int width, bool dotted) {
    m_pen = QPen(colour(c), std::max(1.0, width * m_lineScale),
                 dotted ? Qt::DotLine : Qt::SolidLine, Qt::FlatCap);
    if (dotted) m_pen.setDashPattern({1.5, 2.5});
    m_p.setPen(m_pen);
}

void PainterCanvas::line(int x1, int y1, int x2, int y2) {
    if (x1 == x2 && y1 == y2)
        m_p.drawPoint(x1, y1);
    else
        m_p.drawLine(x1, y1, x2, y2);
}

void PainterCanvas::rectangle(int x1, int y1, int x2, int y2) {
    m_p.setBrush(Qt::NoBrush);
    m_p.drawRect(QRect(QPoint(x1, y1), QPoint(x2, y2)));
}

void PainterCanvas::ellipse(int x1, int y1, int x2, int y2) {
    m_p.setBrush(Qt::NoBrush);
    m_p.drawEllipse(QRect(QPoint(x1, y1), QPoint(x2, y2)));
}

void PainterCanvas::text(int x, int y, const std::string& s) {
    const QFontMetricsF fm(m_font, m_p.device());
    m_p.drawText(QPointF(x, y + fm.ascent()), QString::fromStdString(s));
}

int PainterCanvas::textWidth(const std::string& s) const {
    return static_cast<int>(std::ceil(
        QFontMetricsF(m_font, m_p.device()).horizontalAdvance(QString::fromStdString(s))));
}

int PainterCanvas::textHeight() const {
    return static_cast<int>(std::ceil(QFontMetricsF(m_font, m_p.device()).height()));
}

void PainterCanvas::setFontPoints(int points) {
    m_font.setPointSizeF(std::max(1, points));
    m_p.setFont(m_font);
}

void PainterCanvas::setBold(bool bold) {
    m_font.setBold(bold);
    m_p.setFont(m_font);
}

void PainterCanvas::fillPolygon(const std::vector<PlotPoint>& points, std::uint32_t c,
                                double opacity) {
    QPolygon polygon;
    for (const PlotPoint& p : points)
        polygon << QPoint(p.x, p.y);
    m_p.save();
    m_p.setPen(Qt::NoPen);
    m_p.setBrush(colour(c));
    m_p.setOpacity(std::clamp(opacity, 0.0, 1.0));
    m_p.drawPolygon(polygon, Qt::OddEvenFill);
    m_p.restore();
}

void PainterCanvas::fillEllipse(int x1, int y1, int x2, int y2, std::uint32_t c) {
    m_p.save();
    m_p.setPen(Qt::NoPen);
    m_p.setBrush(colour(c));
    m_p.drawEllipse(QRect(QPoint(x1, y1), QPoint(x2, y2)));
    m_p.restore();
}

} // namespace qarn3
