#pragma once

#include "waveform/plotengine.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <functional>
#include <memory>

namespace qarn3 {

// A PlotCanvas on a QImage: the pixel canvas the plot engine draws on.
class ImageCanvas : public PlotCanvas {
public:
    // onInvalidate asks the owner to draw the plot anew.
    explicit ImageCanvas(QWidget* owner = nullptr, std::function<void()> onInvalidate = {})
        : m_owner(owner), m_onInvalidate(std::move(onInvalidate)) {}
    ~ImageCanvas() override { end(); }

    void resize(int w, int h);
    QImage& image() {
        end();
        return m_image;
    }

    int width() const override { return m_image.width(); }
    int height() const override { return m_image.height(); }
    void fill(std::uint32_t colour) override;
    void setPen(std::uint32_t colour, int width, bool dotted) override;
    void setXorMode(bool on) override;
    void line(int x1, int y1, int x2, int y2) override;
    void rectangle(int x1, int y1, int x2, int y2) override;
    void ellipse(int x1, int y1, int x2, int y2) override;
    void text(int x, int y, const std::string& s) override;
    int textWidth(const std::string& s) const override;
    int textHeight() const override;
    void setFontPoints(int points) override;
    void invalidate() override;
    void setCursorHidden(bool hidden) override;

    static QColor colour(std::uint32_t bgr);

private:
    QPainter& painter();
    void end();

    QWidget* m_owner;
    std::function<void()> m_onInvalidate;
    QImage m_image{1, 1, QImage::Format_RGB32};
    std::unique_ptr<QPainter> m_painter;
    QPen m_pen{Qt::white};
    QFont m_font{"Arial", 9};
    bool m_xor = false;
};

// A drawing surface for plots: paints by calling onPaint with its canvas, and hands mouse
// presses, moves and releases to the handlers.
class PlotWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlotWidget(QWidget* parent = nullptr);
    ImageCanvas& canvas() { return m_canvas; }

    std::function<void(PlotCanvas&)> onPaint;
    std::function<void(QMouseEvent*)> onMousePress, onMouseMove, onMouseRelease;

    // Draws the plot anew now (rather than at the next paint).
    void redraw();
    // Draws the plot anew at the next paint; requests made before it are drawn once.
    void redrawLater() {
        m_dirty = true;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ImageCanvas m_canvas{this, [this] {
                             m_dirty = true;
                             update();
                         }};
    bool m_dirty = true;
};

} // namespace qarn3
