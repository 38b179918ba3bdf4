#include "diag/busywindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

namespace qarn3 {

TfmDelay::TfmDelay(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setWindowTitle("Busy");
    setFixedHeight(96);
    setMinimumWidth(220);
    auto* row = new QHBoxLayout(this);
    row->addWidget(new QLabel("Please Wait:", this));
    Edit1 = new QLineEdit(this);
    Edit1->setReadOnly(true);
    Edit1->setMaximumWidth(60);
    row->addWidget(Edit1);
    row->addWidget(new QLabel("Seconds", this));
}

void TfmDelay::setRemainingText(const std::string& text) {
    Edit1->setText(QString::fromStdString(text));
}

QString TfmDelay::remainingText() const {
    return Edit1->text();
}

std::unique_ptr<BusyView> QtBusyWindowFactory::createShown(const std::string& caption, int width) {
    auto window = std::make_unique<TfmDelay>();
    window->setWindowTitle(QString::fromStdString(caption));
    window->setFixedWidth(width);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        window->move(r.center() - QPoint(width / 2, 48));
    }
    window->show();
    return window;
}

} // namespace qarn3
