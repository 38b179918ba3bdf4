#pragma once

#include "link/commpanel.h"

#include <QDialog>

#include <memory>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace qarn3 {

class LinesView;

// The "Communication Status" window: the COM link's counters, the component's reports and
// the error kinds seen, the error mask entry and the port list, as its panel keeps them (made
// when Hardware Status first shows it). Hidden, it leaves its list as it is and catches up
// when shown again; its boxes are filled by the panel's ticks while it is shown.
class TfmComm : public QDialog {
    Q_OBJECT
public:
    explicit TfmComm(CommStatusPanel& panel, QWidget* parent = nullptr);
    ~TfmComm() override;

    QLineEdit* ErrorCountBox;
    QLineEdit* RxDCountBox;
    QLineEdit* CommErrorBox;
    QLineEdit* ErrorMaskBox;
    QLineEdit* MaxRxDbox;
    QPushButton* btHide;
    QPushButton* btClear;
    QPushButton* btPorts;
    QListWidget* ErrorListBox1;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* box(const QString& label, int y, bool readOnly);
    void rewriteMask();
    void showBoxes(const std::string& errorCount, const std::string& rxDataCount,
                   const std::string& commError, const std::string& maxRxData);

    ComLink& m_link;
    std::unique_ptr<LinesView> m_errorView;
};

} // namespace qarn3
