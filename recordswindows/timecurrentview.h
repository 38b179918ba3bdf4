#pragma once

#include "report/timecurrent.h"

#include <QWidget>

#include <optional>

namespace qarn3 {

// The time-current plot of a session on screen, drawn by the report's own plot code in the
// screen's colours; a hint in its place while there is no session.
class TimeCurrentView : public QWidget {
    Q_OBJECT
public:
    explicit TimeCurrentView(char decimalSeparator, QWidget* parent = nullptr);

    void setPlot(const TimeCurrentPlot& plot);
    void clearPlot(const QString& hint);
    bool hasPlot() const { return m_plot.has_value(); }
    const TimeCurrentPlot* plot() const { return m_plot ? &*m_plot : nullptr; }

    QSize sizeHint() const override { return {560, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    char m_separator;
    std::optional<TimeCurrentPlot> m_plot;
    QString m_hint;
};

} // namespace qarn3
