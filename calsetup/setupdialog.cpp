#include "calsetup/setupdialog.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/textformat.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace qarn3 {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
int screenWidth() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().width() : 1024;
}
} // namespace

TfmSetup::TfmSetup(SetupForm& form, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), m_form(form) {
    buildControls();
}

TfmSetup::TfmSetup(TSetupRecord& record, TSiteSettings& site, Services& services,
                   char decimalSeparator, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint),
      m_ownForm(std::make_unique<SetupForm>(record, site, services, decimalSeparator)),
      m_form(*m_ownForm) {
    buildControls();
}

void TfmSetup::buildControls() {
    setWindowTitle("Setup");
    auto* form = new QFormLayout(this);
    form->setLabelAlignment(Qt::AlignRight);
    ebMaxOnTime = new QLineEdit(this);
    ebMaxOffTime = new QLineEdit(this);
    ebMaxOps = new QLineEdit(this);
    ebDataFileName = new QLineEdit(this);
    ebDataFileName->setMinimumWidth(240);
    cbSourceName = new QComboBox(this);
    cbSourceName->setEditable(true);
    cbSourceName->addItems({"COM", "USB", "WAV"});
    ebShuntAmperes = new QLineEdit(this);
    ebShuntMillivolts = new QLineEdit(this);
    cbMainsHz = new QComboBox(this);
    cbMainsHz->addItems({"60 Hz", "50 Hz"});
    cbMainsHz->setToolTip("The mains frequency of the site: the length of a cycle in the "
                          "waveform view's cycle table. Readings in cycles stay at 60 Hz.");
    Button1 = new QPushButton("Save and Exit", this);
    form->addRow("Max On Time", ebMaxOnTime);
    form->addRow("Max Off Time", ebMaxOffTime);
    form->addRow("Max Operations", ebMaxOps);
    form->addRow("DataFileName", ebDataFileName);
    form->addRow("SourceName", cbSourceName);
    form->addRow("Shunt Amperes", ebShuntAmperes);
    form->addRow("Shunt Millivolts", ebShuntMillivolts);
    form->addRow("Mains Frequency", cbMainsHz);
    form->addRow(Button1);
    connect(Button1, &QPushButton::clicked, this, [this] { saveAndClose(); });
    adjustSize();
    move(screenWidth() - width() - 2, y());
}

void TfmSetup::showEvent(QShowEvent* event) {
    const SetupFields f = m_form.FormShow();
    move(screenWidth() - width(), y());
    ebMaxOnTime->setText(q(f.MaxOnTime));
    ebMaxOffTime->setText(q(f.MaxOffTime));
    ebMaxOps->setText(q(f.MaxOps));
    ebDataFileName->setText(q(f.DataFileName));
    cbSourceName->setEditText(q(f.SourceName));
    ebShuntAmperes->setText(q(f.ShuntAmperes));
    ebShuntMillivolts->setText(q(f.ShuntMillivolts));
    cbMainsHz->setCurrentIndex(m_form.mainsHz() == 50 ? 1 : 0);
    QDialog::showEvent(event);
}

bool TfmSetup::saveAndClose() {
    SetupFields f;
    f.MaxOnTime = ebMaxOnTime->text().toStdString();
    f.MaxOffTime = ebMaxOffTime->text().toStdString();
    f.MaxOps = ebMaxOps->text().toStdString();
    f.DataFileName = ebDataFileName->text().toStdString();
    f.SourceName = cbSourceName->currentText().toStdString();
    f.ShuntAmperes = ebShuntAmperes->text().toStdString();
    f.ShuntMillivolts = ebShuntMillivolts->text().toStdString();
    if (!m_form.save(f, cbMainsHz->currentIndex() == 1 ? 50 : 60)) return false;
    m_closing = true;
    done(QDialog::Accepted);
    m_closing = false;
    return true;
}

void TfmSetup::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    if (!saveAndClose()) event->ignore();
}

// Escape closes the dialog like its close box: it saves too, and always ends with OK.
void TfmSetup::reject() {
    if (m_closing) return;
    saveAndClose();
}

} // namespace qarn3
