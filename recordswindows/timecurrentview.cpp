#include "recordswindows/timecurrentview.h"

#include "report/paintercanvas.h"
#include "waveform/plotengine.h"

#include <QPainter>

namespace qarn3 {

TimeCurrentView::TimeCurrentView(char decimalSeparator, QWidget* parent)
    : QWidget(parent), m_separator(decimalSeparator) {
    setMinimumSize(320, 220);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TimeCurrentView::setPlot(const TimeCurrentPlot& plot) {
    m_plot = plot;
    update();
}

void TimeCurrentView::clearPlot(const QString& hint) {
    m_plot.reset();
    m_hint = hint;
    update();
}

void TimeCurrentView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const TimeCurrentStyle style = screenStyle();
    if (!m_plot) {
        painter.fillRect(rect(), PainterCanvas::colour(style.background));
        painter.setPen(PainterCanvas::colour(style.grid));
        painter.drawText(rect().adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap,
                         m_hint);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    PainterCanvas canvas(painter, rect());
    PlotEngine engine;
    engine.setDecimalSeparator(m_separator);
    drawTimeCurrent(engine, canvas, *m_plot, style);
}

} // namespace qarn3
