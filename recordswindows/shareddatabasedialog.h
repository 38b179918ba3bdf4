#pragma once

#include "store/sharedcheck.h"

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qarn3 {

struct Services;
class SharedDatabaseRunner;

// Records/Database…: the shared database's URI entered and checked. Test connects on a
// worker (the password asked when the client library has none) and shows the schema version
// and what the role may do; OK keeps the URI in the settings file. A URI that cannot be read,
// holds a password or names no server is refused with the reason.
class SharedDatabaseDialog : public QDialog {
    Q_OBJECT
public:
    SharedDatabaseDialog(Services& services, std::string settingsPath, SharedDatabaseRunner& runner,
                         QWidget* parent = nullptr);

    // The URI the field shows at first (the setting read when the dialog was made).
    void setUri(const std::string& uri);
    // A build that cannot reach any server (reason says why): the dialog says so, and nothing
    // in it can be set or tested; Cancel closes it.
    void setUnavailable(const std::string& reason);

    // Test: checks the URI, then connects on the runner's worker; the outcome comes in the
    // status line.
    void btTestClick();
    // OK: the URI (empty: none) saved, then the dialog closes; refused or not written, it
    // says why and stays open.
    void btOKClick();

    QLineEdit* ebUri;
    QLabel* lbPasswords;
    QLabel* lbStatus;
    QPushButton* btTest;
    QPushButton* btOK;
    QPushButton* btCancel;

signals:
    // A test ended and its outcome is shown.
    void tested(const qarn3::SharedDatabaseCheck& check);

private:
    void showStatus(const std::string& text, const char* colour);
    void checkFinished(const SharedDatabaseCheck& check);

    Services& m_services;
    std::string m_settingsPath;
    SharedDatabaseRunner& m_runner;
    DatabaseLocation m_testing;
};

} // namespace qarn3
