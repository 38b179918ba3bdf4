#pragma once

#include "waveform/plotengine.h"

#include <QFont>
#include <QPen>
#include <QRect>

class QPainter;

namespace qarn3 {

// A PlotCanvas on a rectangle of a QPainter's device: a page of a PDF at print resolution, or
// an image shown in a window. Canvas pixels are device pixels from the rectangle's corner;
// fonts are sized in points of the device's resolution, so that a plot reads the same on
// paper at any resolution; drawing stays inside the rectangle.
class PainterCanvas : public PlotCanvas {
public:
    // lineScale multiplies every pen width (thin device pixels of a printer).
    PainterCanvas(QPainter& painter, const QRect& area, double lineScale = 1);
    ~PainterCanvas() override;
    PainterCanvas(const PainterCanvas&) = delete;
    PainterCanvas& operator=(const PainterCanvas&) = delete;

    int width() const override { return m_area.width(); }
    int height() const override { return m_area.height(); }
    void fill(std::uint32_t colour) override;
    void setPen(std::uint32_t colour, int width, bool dotted) override;
    void setXorMode(bool) override {} // nothing is drawn to be erased on paper
    void line(int x1, int y1, int x2, int y2) override;
    void rectangle(int x1, int y1, int x2, int y2) override;
    void ellipse(int x1, int y1, int x2, int y2) override;
    void text(int x, int y, const std::string& s) override;
    int textWidth(const std::string& s) const override;
    int textHeight() const override;
    void setFontPoints(int points) override;
    void fillPolygon(const std::vector<PlotPoint>& points, std::uint32_t colour,
                     double opacity) override;
    void fillEllipse(int x1, int y1, int x2, int y2, std::uint32_t colour) override;

    // The font of the texts: a bold one for headings drawn through text().
    void setBold(bool bold);

    static QColor colour(std::uint32_t bgr);

private:
    QPainter& m_p;
    QRect m_area;
    double m_lineScale;
    QPen m_pen;
    QFont m_font;
};

} // namespace qarn3
