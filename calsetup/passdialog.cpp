#include "calsetup/passdialog.h"

#include "platform/dialogs.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace qarn3 {

TfmPass::TfmPass(DialogService& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_dialogs(dialogs) {
    setWindowTitle("Password Dialog");
    auto* column = new QVBoxLayout(this);
    lbCalDate = new QLabel("Calibration Date:", this);
    auto* prompt = new QLabel("Enter password:", this);
    ebPassword = new QLineEdit(this);
    ebPassword->setEchoMode(QLineEdit::Password);
    ebPassword->setStyleSheet("lineedit-password-character: 42");
    btOK = new QPushButton("OK", this);
    btOK->setDefault(true);
    btCancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    column->addWidget(lbCalDate);
    column->addWidget(prompt);
    column->addWidget(ebPassword);
    column->addLayout(buttons);
    connect(btOK, &QPushButton::clicked, this, &TfmPass::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(260);
    adjustSize();
    setFixedSize(size());
}

void TfmPass::setCalDateText(const std::string& calDateText) {
    lbCalDate->setText(QString::fromStdString("Calibration Date: " + calDateText));
}

bool TfmPass::execute(const std::string& calDateText) {
    setCalDateText(calDateText);
    return exec() == QDialog::Accepted;
}

void TfmPass::showEvent(QShowEvent* event) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    ebPassword->setFocus();
    QDialog::showEvent(event);
}

void TfmPass::btOKClick() {
    if (ebPassword->text() == kAccessCode) {
        accept();
        return;
    }
    m_dialogs.messageDlg("Password incorrect.  Please try again.", MsgKind::Information,
                         {MsgButton::OK});
    ebPassword->setFocus();
}

} // namespace qarn3
