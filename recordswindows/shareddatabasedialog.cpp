#include "recordswindows/shareddatabasedialog.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "records/sharedsettings.h"
#include "recordswindows/syncrunner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qarn3 {

SharedDatabaseDialog::SharedDatabaseDialog(Services& services, std::string settingsPath,
                                           SharedDatabaseRunner& runner, QWidget* parent)
    : QDialog(parent), m_services(services), m_settingsPath(std::move(settingsPath)),
      m_runner(runner) {
    setWindowTitle("Shared Database");
    auto* column = new QVBoxLayout(this);
    auto* prompt = new QLabel(
        "The company's shared records database, which Records/Sync brings together with the "
        "records of this computer (a PostgreSQL URI; leave it empty for none):",
        this);
    prompt->setWordWrap(true);
    ebUri = new QLineEdit(this);
    ebUri->setPlaceholderText("postgresql://USER@HOST:PORT/DBNAME?sslmode=verify-full");
    ebUri->setMinimumWidth(460);
    lbPasswords = new QLabel(
        "No password is kept: the server's client library takes it from ~/.pgpass, the file "
        "PGPASSFILE names or PGPASSWORD, or the program asks for it at each connection.",
        this);
    lbPasswords->setWordWrap(true);
    lbStatus = new QLabel(this);
    lbStatus->setWordWrap(true);
    lbStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbStatus->setMinimumHeight(lbStatus->fontMetrics().lineSpacing() * 4);
    lbStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    btTest = new QPushButton("Test Connection", this);
    btOK = new QPushButton("OK", this);
    btOK->setDefault(true);
    btCancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btTest);
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    column->addWidget(prompt);
    column->addWidget(ebUri);
    column->addWidget(lbPasswords);
    column->addWidget(lbStatus);
    column->addLayout(buttons);
    connect(btTest, &QPushButton::clicked, this, &SharedDatabaseDialog::btTestClick);
    connect(btOK, &QPushButton::clicked, this, &SharedDatabaseDialog::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ebUri, &QLineEdit::textEdited, this, [this] { lbStatus->clear(); });
    connect(&m_runner, &SharedDatabaseRunner::checkFinished, this,
            &SharedDatabaseDialog::checkFinished);
}

void SharedDatabaseDialog::setUri(const std::string& uri) {
    ebUri->setText(QString::fromStdString(uri));
}

void SharedDatabaseDialog::setUnavailable(const std::string& reason) {
    showStatus(reason + ": the records stay in this computer's database, and Records/Sync has "
                        "no server to bring them together with.",
               "#b00000");
    ebUri->setEnabled(false);
    lbPasswords->hide();
    btTest->setEnabled(false);
    btOK->setEnabled(false);
    btOK->setDefault(false);
    btCancel->setDefault(true);
    btCancel->setFocus();
}

void SharedDatabaseDialog::showStatus(const std::string& text, const char* colour) {
    lbStatus->setStyleSheet(QString("color: ") + colour);
    lbStatus->setText(QString::fromStdString(escapeControls(text)));
}

void SharedDatabaseDialog::btTestClick() {
    m_services.log.AddDebugLine("TestSharedDatabase ");
    const std::string uri = trimText(ebUri->text().toStdString());
    if (uri.empty()) {
        showStatus("No shared database is named.", "#b00000");
        return;
    }
    if (const std::string problem = sharedUriProblem(uri); !problem.empty()) {
        showStatus("This URI cannot be used: " + problem + ".", "#b00000");
        return;
    }
    std::string error;
    DatabaseLocation::parse(uri, m_testing, error);
    showStatus("Connecting to " + m_testing.display() + "…", "palette(text)");
    btTest->setEnabled(false);
    m_runner.startCheck(SharedDatabaseRunner::checkJob(m_testing));
}

void SharedDatabaseDialog::checkFinished(const SharedDatabaseCheck& check) {
    btTest->setEnabled(true);
    const bool good = check.opened.ok && check.mayAdd;
    showStatus(sharedCheckText(m_testing, check), good ? "#006000" : "#b00000");
    emit tested(check);
}

void SharedDatabaseDialog::btOKClick() {
    m_services.log.AddDebugLine("SaveSharedDatabase ");
    const std::string uri = trimText(ebUri->text().toStdString());
    if (!uri.empty()) {
        if (const std::string problem = sharedUriProblem(uri); !problem.empty()) {
            showStatus("This URI cannot be used: " + problem + ".", "#b00000");
            m_services.dialogs.messageDlg("The shared database's URI cannot be used: " + problem +
                                              ".",
                                          MsgKind::Error, {MsgButton::OK});
            return;
        }
    }
    SharedSettings settings;
    settings.databaseUri = uri;
    std::string error;
    if (!writeSharedSettings(m_services.files, m_settingsPath, settings, error)) {
        m_services.log.AddDebugLine("SaveSharedDatabase failed: " + escapeControls(error));
        m_services.dialogs.messageDlg("Error writing file: " + m_settingsPath, MsgKind::Error,
                                      {MsgButton::Abort});
        return;
    }
    accept();
}

} // namespace qarn3
