#include "waveform/plotwidget.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>

namespace qarn3 {

QColor ImageCanvas::colour(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void ImageCanvas::resize(int w, int h) {
    end();
    m_image = QImage(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    m_image.fill(Qt::black);
}

QPainter& ImageCanvas::painter() {
    if (!m_painter) {
        m_painter = std::make_unique<QPainter>(&m_image);
        m_painter->setPen(m_pen);
        m_painter->setFont(m_font);
        m_painter->setCompositionMode(m_xor ? QPainter::RasterOp_SourceXorDestination
                                            : QPainter::CompositionMode_SourceOver);
    }
    return *m_painter;
}

void ImageCanvas::end() {
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
}

void ImageCanvas::fill(std::uint32_t c) {
    end();
    m_image.fill(colour(c));
}

void ImageCanvas::setPen(std::uint32_t c, int width, bool dotted) {
    m_pen = QPen(colour(c), width, dotted ? Qt::DotLine : Qt::SolidLine, Qt::FlatCap);
    if (m_painter) m_painter->setPen(m_pen);
}

void ImageCanvas::setXorMode(bool on) {
    m_xor = on;
    if (m_painter)
        m_painter->setCompositionMode(on ? QPainter::RasterOp_SourceXorDestination
                                         : QPainter::CompositionMode_SourceOver);
}

void ImageCanvas::line(int x1, int y1, int x2, int y2) {
    if (x1 == x2 && y1 == y2)
        painter().drawPoint(x1, y1);
    else
        painter().drawLine(x1, y1, x2, y2);
}

void ImageCanvas::rectangle(int x1, int y1, int x2, int y2) {
    painter().drawRect(QRect(QPoint(x1, y1), QPoint(x2, y2)));
}

void ImageCanvas::ellipse(int x1, int y1, int x2, int y2) {
    painter().drawEllipse(QRect(QPoint(x1, y1), QPoint(x2, y2)));
}

void ImageCanvas::text(int x, int y, const std::string& s) {
    QPainter& p = painter();
    const QFontMetrics fm(m_font);
    p.drawText(x, y + fm.ascent(), QString::fromStdString(s));
}

int ImageCanvas::textWidth(const std::string& s) const {
    return QFontMetrics(m_font).horizontalAdvance(QString::fromStdString(s));
}

int ImageCanvas::textHeight() const {
    return QFontMetrics(m_font).height();
}

void ImageCanvas::setFontPoints(int points) {
    m_font = QFont(points < 8 ? "Small Fonts" : "Arial", std::max(1, points));
    m_font.setStyleHint(QFont::SansSerif);
    if (m_painter) m_painter->setFont(m_font);
}

void ImageCanvas::invalidate() {
    end();
    if (m_onInvalidate)
        m_onInvalidate();
    else if (m_owner)
        m_owner->update();
}

void ImageCanvas::setCursorHidden(bool hidden) {
    if (m_owner) m_owner->setCursor(hidden ? Qt::BlankCursor : Qt::ArrowCursor);
}

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void PlotWidget::redraw() {
    m_canvas.resize(width(), height());
    if (onPaint) onPaint(m_canvas);
    m_dirty = false;
    update();
}

void PlotWidget::paintEvent(QPaintEvent*) {
    if (m_dirty || m_canvas.width() != width() || m_canvas.height() != height()) {
        m_canvas.resize(width(), height());
        if (onPaint) onPaint(m_canvas);
        m_dirty = false;
    }
    QPainter p(this);
    p.drawImage(0, 0, m_canvas.image());
}

void PlotWidget::resizeEvent(QResizeEvent*) {
    m_dirty = true;
}

void PlotWidget::mousePressEvent(QMouseEvent* e) {
    if (onMousePress) onMousePress(e);
    update();
}

void PlotWidget::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove) onMouseMove(e);
    update();
}

void PlotWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (onMouseRelease) onMouseRelease(e);
    update();
}

} // namespace qarn3
