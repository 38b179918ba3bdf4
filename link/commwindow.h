#pragma once

#include "diag/boundedlines.h"
#include "link/comlink.h"

#include <QDialog>

#include <memory>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace qarn3 {

class LinesView;

// The "Communication Status" window: the COM link's counters, the component's reports and
// the error kinds seen, the error mask entry and the port list. A thin view of ComLink; its
// 110 ms timer runs from creation, shown or not, because it is what lists the errors and
// stops sampling on BufferMax; hidden, the window only keeps the lines and shows them when
// it is shown again.
class TfmComm : public QDialog, public CommStatusView {
    Q_OBJECT
public:
    explicit TfmComm(ComLink& link, QWidget* parent = nullptr);
    ~TfmComm() override;

    // CommStatusView
    void showBoxes(const std::string& errorCount, const std::string& rxDataCount,
                   const std::string& commError, const std::string& maxRxData) override;
    void addErrorLine(const std::string& line) override;
    void clearErrorLines() override;

    QLineEdit* ErrorCountBox;
    QLineEdit* RxDCountBox;
    QLineEdit* CommErrorBox;
    QLineEdit* ErrorMaskBox;
    QLineEdit* MaxRxDbox;
    QPushButton* btHide;
    QPushButton* btClear;
    QPushButton* btPorts;
    QListWidget* ErrorListBox1;
    QTimer* CommTimer;

    // The error list keeps at most this many lines, dropping the oldest (a first line says
    // how many).
    static constexpr int kMaxErrorLines = 1000;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* box(const QString& label, int y, bool readOnly);
    void rewriteMask();

    ComLink& m_link;
    BoundedLines m_errorLines{kMaxErrorLines};
    std::unique_ptr<LinesView> m_errorView;
};

} // namespace qarn3
