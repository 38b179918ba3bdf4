#pragma once

#include <QWidget>

#include <vector>

class QLabel;

namespace qarn3 {

// A row of status bar panels that share the row's width by what their texts need (see
// shareWidths): a text is shown whole wherever the width allows, and a panel whose text is
// still cut shows it whole as its tooltip.
class StatusRow : public QWidget {
public:
    explicit StatusRow(QWidget* parent = nullptr);

    // A panel that takes spare width shares the row with the others like it; one that does not
    // is given the width its text (or its minimum width) needs first, and no more.
    void addPanel(QLabel* panel, bool takesSpare = true);
    // Lays the panels out again: after a panel's text changed.
    void relayout();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    static constexpr int kGap = 4;
    std::vector<QLabel*> m_panels;
    std::vector<bool> m_takesSpare;
};

} // namespace qarn3
