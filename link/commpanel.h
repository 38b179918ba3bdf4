#pragma once

#include "diag/boundedlines.h"
#include "link/comlink.h"

#include <QObject>

#include <string>

class QTimer;

namespace qarn3 {

// What the "Communication Status" window shows, kept from the start-up whether or not the
// window has been made. Made where the window was (its link's FormCreate runs then); its
// 110 ms timer runs from then on, shown or not, because it is what lists the errors and stops
// sampling on BufferMax. The error list keeps the newest kMaxErrorLines lines (a first line
// says how many older ones were dropped).
class CommStatusPanel : public QObject, public CommStatusView {
    Q_OBJECT
public:
    static constexpr int kMaxErrorLines = 1000;

    explicit CommStatusPanel(ComLink& link, QObject* parent = nullptr);
    ~CommStatusPanel() override;

    // CommStatusView
    void showBoxes(const std::string& errorCount, const std::string& rxDataCount,
                   const std::string& commError, const std::string& maxRxData) override;
    void addErrorLine(const std::string& line) override;
    void clearErrorLines() override;

    const BoundedLines& errorLines() const { return m_errorLines; }
    ComLink& link() { return m_link; }

    QTimer* CommTimer;

signals:
    // A tick's boxes: "Comm Error Count", "Rx Data Count", "Comm Error Code", "Max RxDcount:".
    void boxesShown(const std::string& errorCount, const std::string& rxDataCount,
                    const std::string& commError, const std::string& maxRxData);
    void errorLinesChanged();

private:
    ComLink& m_link;
    BoundedLines m_errorLines{kMaxErrorLines};
};

} // namespace qarn3
