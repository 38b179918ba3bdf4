#pragma once

#include "report/historyplot.h"

#include <QWidget>

#include <optional>

namespace qarn3 {

// A breaker's history on screen: a panel a kind of test point, its results over the sessions
// as positions in their bands, one line a pole, the 0 % and 100 % lines dashed, a point
// outside labelled with its percent and a ring where a result moved toward an edge; a hint in
// its place while there is no breaker or no result.
class HistoryView : public QWidget {
    Q_OBJECT
public:
    explicit HistoryView(QWidget* parent = nullptr);

    void setPlot(const HistoryPlot& plot);
    void clearPlot(const QString& hint);
    bool hasPlot() const { return m_plot.has_value(); }
    const HistoryPlot* plot() const { return m_plot ? &*m_plot : nullptr; }
    const QString& hint() const { return m_hint; }

    QSize sizeHint() const override { return {560, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawPanel(QPainter& p, const HistoryPanel& panel, const QRectF& area) const;

    std::optional<HistoryPlot> m_plot;
    QString m_hint;
};

} // namespace qarn3
