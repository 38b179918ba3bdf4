// The shared database in the program: its setting file, the Records/Database… dialog's
// refusals and connection test, and Records/Sync on a worker against a throwaway server (a
// shot stored meanwhile, the password asked on the window's thread and forgotten, a wrong
// one, an unreachable server, the progress dialog and its Cancel).
#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/scripted_dialogs.h"
#include "records/sharedsettings.h"
#include "recordswindows/guiprompt.h"
#include "recordswindows/sharedactions.h"
#include "recordswindows/shareddatabasedialog.h"
#include "recordswindows/syncdialogs.h"
#include "store/writer.h"

#include "fake_owners.h"
#include "shared_database_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QThread>

#include <chrono>
#include <optional>
#include <sys/stat.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// The test's dialogs, which also note the thread each password box is shown on.
class RecordingDialogs : public ScriptedDialogs {
public:
    std::optional<std::string> passwordBox(const std::string& caption,
                                           const std::string& prompt) override {
        passwordThreads.push_back(QThread::currentThread());
        return ScriptedDialogs::passwordBox(caption, prompt);
    }
    std::vector<QThread*> passwordThreads;
    std::string texts() const {
        std::string s;
        for (const DialogRecord& r : shown())
            s += r.caption + ": " + r.text + "\n";
        return s;
    }
};

// Counts the progress dialogs shown.
class ShowCounter : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && qobject_cast<SyncProgressDialog*>(o)) ++shown;
        return false;
    }
    int shown = 0;
};

class SyncWindowTest : public SharedDatabaseTest {
public:
    void SetUp() override {
        SharedDatabaseTest::SetUp();
        data = folder + "/data";
        std::filesystem::create_directory(data);
    }
    // Records/Database… as the operator uses it: the URI typed, then OK.
    bool saveUri(SharedDatabaseActions& actions, const std::string& text) {
        std::unique_ptr<SharedDatabaseDialog> d(actions.makeDatabaseDialog());
        d->ebUri->setText(QString::fromStdString(text));
        d->btOKClick();
        return d->result() == QDialog::Accepted;
    }
    // A laptop's session of shots in QARN3.db (every two share a waveform).
    ShotContext record(int shots, const std::string& site = "Plant A") {
        RecordsDatabase db(DatabaseLocation::file(defaultRecordsPath(data)));
        EXPECT_TRUE(db.open().ok);
        ShotContext c;
        c.site = {newRecordId(), site, ""};
        c.breaker = {};
        c.breaker.id = newRecordId();
        c.breaker.siteId = c.site.id;
        c.breaker.designation = "Q1";
        c.breaker.ratedAmps = 400;
        c.session.id = newRecordId();
        c.session.breakerId = c.breaker.id;
        c.session.startedAt = isoUtcNow();
        c.point.id = newRecordId();
        c.point.sessionId = c.session.id;
        c.point.multiple = 3;
        c.point.band = Band{0.1, 0.5};
        std::vector<NewShot> batch;
        for (int i = 0; i < shots; ++i)
            batch.push_back(shot(c, i));
        std::vector<ShotRecord> stored;
        EXPECT_FALSE(RecordsStore(db).storeShots(c, batch, stored));
        return c;
    }
    static NewShot shot(const ShotContext& c, int i) {
        NewShot s;
        s.reading.takenAt = isoUtcNow();
        s.reading.currentAmps = 1200 + i;
        s.reading.seconds = 0.3;
        s.reading.cycles = 18;
        s.reading.pulse = i + 1;
        s.waveform = QByteArray::fromStdString("WAVEFORM " + c.point.id + std::to_string(i / 2));
        return s;
    }
    std::int64_t localShots() {
        RecordsDatabase db(DatabaseLocation::file(defaultRecordsPath(data)));
        EXPECT_TRUE(db.open().ok);
        QSqlQuery q = db.query();
        EXPECT_TRUE(q.exec("SELECT count(*) FROM shot") && q.next());
        return q.value(0).toLongLong();
    }
    // Records/Sync, and the report once it ended.
    SyncReport sync(SharedDatabaseActions& actions, int timeoutMs = 60000) {
        QSignalSpy finished(&actions, &SharedDatabaseActions::syncFinished);
        EXPECT_TRUE(actions.startSync());
        EXPECT_TRUE(finished.wait(timeoutMs));
        if (finished.isEmpty()) return {};
        return finished.takeFirst().at(0).value<SyncReport>();
    }
    std::string summary(SharedDatabaseActions& actions) {
        return actions.summaryDialog()
                   ? actions.summaryDialog()->tbSummary->toPlainText().toStdString()
                   : std::string();
    }

    std::string data;
    FileStore files;
    RecordingDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
};

// --- The setting's file -------------------------------------------------------------------

struct SettingsCase {
    const char* name;
    std::optional<std::string> text; // none: no file; "<folder>": a folder of that name
    const char* uri;
    const char* problem; // "" for none
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsFile : public SyncWindowTest, public ::testing::WithParamInterface<SettingsCase> {
public:
    bool needsServer() const override { return false; }
};

// What the file gives, and why not: a bad value never becomes the setting, and a password
// in it is named but never quoted.
TEST_P(SettingsFile, GivesTheUriOrSaysWhyNot) {
    const SettingsCase& c = GetParam();
    const std::string path = sharedSettingsPath(data);
    if (c.text && *c.text == "<folder>")
        std::filesystem::create_directory(path);
    else if (c.text)
        std::ofstream(path, std::ios::binary) << *c.text;
    std::string problem;
    EXPECT_EQ(readSharedSettings(files, path, problem).databaseUri, c.uri);
    if (std::string(c.problem).empty()) {
        EXPECT_EQ(problem, "");
    } else {
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_NE(problem.find(path), std::string::npos) << problem;
    }
    EXPECT_EQ(problem.find("s3cret"), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFile,
    ::testing::Values(
        SettingsCase{"Missing", std::nullopt, "", ""},
        SettingsCase{"Kept",
                     "; note\r\nSharedDatabase=postgresql://ann@db/qarn3?sslmode=require\r\n",
                     "postgresql://ann@db/qarn3?sslmode=require", ""},
        SettingsCase{"AnyCaseAfterAByteOrderMark",
                     "\xEF\xBB\xBF[shared]\nshareddatabase = postgresql://db/q\nMainsHz=50\n",
                     "postgresql://db/q", ""},
        SettingsCase{"EmptyIsNone", "SharedDatabase=\r\n", "", ""},
        SettingsCase{"PasswordNamedNotQuoted", "SharedDatabase=postgresql://ann:s3cret@db/q\n", "",
                     "holds a password"},
        SettingsCase{"PasswordParameter", "SharedDatabase=postgresql://db/q?password=s3cret\n", "",
                     "holds a password"},
        SettingsCase{"MisspeltPasswordParameter",
                     "SharedDatabase=postgresql://ann@127.0.0.1:1/qarn3?passwd=s3cret\n", "",
                     "parameter 'passwd' is not a connection keyword"},
        SettingsCase{"AFileIsNoServer", "SharedDatabase=/home/ann/records.db\n", "",
                     "PostgreSQL server"},
        SettingsCase{"ControlCharacter", std::string("SharedDatabase=postgresql://db/q\x1b[2J\n"),
                     "", "control character"},
        SettingsCase{"TooLong", std::string(9000, '#'), "", "longer than 8192 bytes"},
        SettingsCase{"NotAFile", "<folder>", "", "Error reading file"}),
    [](const auto& c) { return std::string(c.param.name); });

// Writing keeps the lines the program does not know in their order and replaces the setting
// where it was; a read-only file is left as it was.
TEST_F(SyncWindowTest, WritingKeepsOtherLinesAndHonoursReadOnly) {
    const std::string path = sharedSettingsPath(data);
    std::ofstream(path, std::ios::binary)
        << "; mine\nColour=blue\nSharedDatabase=postgresql://ann:old@db/q\nLater=1\n";
    std::string error;
    ASSERT_TRUE(writeSharedSettings(files, path, {"postgresql://ann@db/q"}, error)) << error;
    EXPECT_EQ(*files.readAll(path),
              "; mine\r\nColour=blue\r\nSharedDatabase=postgresql://ann@db/q\r\nLater=1\r\n");
    ASSERT_TRUE(files.setReadOnly(path, true));
    EXPECT_FALSE(writeSharedSettings(files, path, {"postgresql://bob@db/q"}, error));
    std::string problem;
    EXPECT_EQ(readSharedSettings(files, path, problem).databaseUri, "postgresql://ann@db/q");
}

// Who may read the setting: it decides which server a typed password goes to.
struct PrivacyCase {
    const char* name;
    mode_t umask;
    bool existing;      // the file is there first, made as the umask makes it
    bool ofAnotherUser; // and it is another user's
    bool write;         // the setting is written (else read)
    mode_t mode;        // the file's mode afterwards
};

void PrintTo(const PrivacyCase& c, std::ostream* os) {
    *os << c.name;
}

// A store that notes the mode of the file each write goes to, as it is at that moment.
class ModeNotingStore : public SeenFileStore {
public:
    using SeenFileStore::SeenFileStore;
    std::vector<mode_t> modesWritten;

protected:
    ssize_t writeSome(int fd, const char* data, std::size_t n) override {
        struct stat st {};
        ::fstat(fd, &st);
        modesWritten.push_back(st.st_mode & 07777);
        return SeenFileStore::writeSome(fd, data, n);
    }
};

class SettingsPrivacy : public SyncWindowTest, public ::testing::WithParamInterface<PrivacyCase> {
public:
    bool needsServer() const override { return false; }
    void SetUp() override {
        SyncWindowTest::SetUp();
        m_umask = ::umask(GetParam().umask);
    }
    void TearDown() override {
        ::umask(m_umask);
        SyncWindowTest::TearDown();
    }

private:
    mode_t m_umask = 022;
};

TEST_P(SettingsPrivacy, OnlyTheUsersOwnFileIsUsedAndNoOtherUserMayReadIt) {
    const PrivacyCase& c = GetParam();
    const std::string path = sharedSettingsPath(data);
    const std::string uri = "postgresql://ann@db/q";
    if (c.existing) std::ofstream(path, std::ios::binary) << "SharedDatabase=" << uri << "\n";
    FakeOwners owners;
    if (c.ofAnotherUser) owners.ownerOf[path] = kOtherUser;
    ModeNotingStore store(owners);
    std::string error, problem;
    if (c.write) {
        EXPECT_TRUE(writeSharedSettings(store, path, {uri}, error)) << error;
        ASSERT_FALSE(store.modesWritten.empty());
        for (mode_t m : store.modesWritten)
            EXPECT_EQ(m, 0600u) << "a byte was written while others could read it";
    }
    const std::string read = readSharedSettings(store, path, problem).databaseUri;

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    if (c.ofAnotherUser) {
        EXPECT_EQ(read, "");
        EXPECT_NE(problem.find(path + " belongs to another user (uid 4242)"), std::string::npos)
            << problem;
    } else {
        EXPECT_EQ(read, uri);
        EXPECT_EQ(problem, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPrivacy,
    ::testing::Values(PrivacyCase{"NewFileUnderOpenUmask", 0000, false, false, true, 0600},
                      PrivacyCase{"NewFileUnderGroupUmask", 0002, false, false, true, 0600},
                      PrivacyCase{"LooseFileReplaced", 0000, true, false, true, 0600},
                      PrivacyCase{"OwnOpenFileTightenedOnRead", 0000, true, false, false, 0600},
                      PrivacyCase{"OwnGroupFileTightenedOnRead", 0002, true, false, false, 0600},
                      PrivacyCase{"AnotherUsersOpenFileRefused", 0000, true, true, false, 0666},
                      PrivacyCase{"AnotherUsersGroupFileRefused", 0002, true, true, false, 0664}),
    [](const auto& c) { return std::string(c.param.name); });

// --- Records/Database… --------------------------------------------------------------------

struct RefusalCase {
    const char* name;
    const char* uri;
    const char* says;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class DatabaseDialogRefuses : public SyncWindowTest,
                              public ::testing::WithParamInterface<RefusalCase> {
public:
    bool needsServer() const override { return false; }
};

// A URI that cannot serve is refused by Test (no connection tried) and by OK (a box, the
// dialog stays, the setting as it was), with the reason and never the password.
TEST_P(DatabaseDialogRefuses, WithTheReasonAndKeepsTheSetting) {
    const RefusalCase& c = GetParam();
    SharedDatabaseActions actions(data, services, nullptr);
    ASSERT_TRUE(saveUri(actions, "postgresql://ann@db/q"));
    std::unique_ptr<SharedDatabaseDialog> d(actions.makeDatabaseDialog());
    EXPECT_EQ(d->ebUri->text().toStdString(), "postgresql://ann@db/q");
    d->ebUri->setText(c.uri);
    d->btTestClick();
    EXPECT_FALSE(actions.runner().checkRunning());
    const std::string status = d->lbStatus->text().toStdString();
    EXPECT_NE(status.find(c.says), std::string::npos) << status;
    d->btOKClick();
    EXPECT_NE(d->result(), QDialog::Accepted);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, MsgKind::Error);
    EXPECT_NE(dialogs.shown()[0].text.find(c.says), std::string::npos) << dialogs.texts();
    EXPECT_EQ((status + dialogs.texts()).find("s3cret"), std::string::npos);
    EXPECT_EQ(actions.sharedUri(), "postgresql://ann@db/q");
}

INSTANTIATE_TEST_SUITE_P(
    Uris, DatabaseDialogRefuses,
    ::testing::Values(
        RefusalCase{"PasswordInTheUser", "postgresql://ann:s3cret@db/q", "holds a password"},
        RefusalCase{"PasswordParameter", "postgresql://ann@db/q?password=s3cret",
                    "holds a password"},
        RefusalCase{"MisspeltPasswordParameter", "postgresql://ann@127.0.0.1:1/qarn3?passwd=s3cret",
                    "parameter 'passwd' is not a connection keyword"},
        RefusalCase{"NoDatabase", "postgresql://ann@db", "names no database"},
        RefusalCase{"BadPort", "postgresql://ann@db:99999/q", "port"},
        RefusalCase{"AFile", "/home/ann/QARN3.db", "PostgreSQL server"},
        RefusalCase{"OtherScheme", "mysql://ann@db/q", "must begin postgresql://"}),
    [](const auto& c) { return std::string(c.param.name); });

// The window's own cases, which need no server.
class ServerlessTest : public SyncWindowTest {
public:
    bool needsServer() const override { return false; }
};
using NoServerClient = ServerlessTest;
using SyncProgress_ = ServerlessTest;

// A build without the server's client (the Windows one): Records/Sync is disabled and says
// why, the Database dialog says it and takes nothing typed, and Enter closes it, the setting
// left as it was.
TEST_F(NoServerClient, SyncIsDisabledAndTheDatabaseDialogOnlyExplains) {
    SharedDatabaseActions actions(data, services, nullptr);
    ASSERT_TRUE(saveUri(actions, "postgresql://ann@db/q"));
    const std::string reason = "The shared PostgreSQL database is not part of this build";
    actions.setUnavailable(reason);
    EXPECT_FALSE(actions.syncAction()->isEnabled());
    EXPECT_EQ(actions.syncAction()->statusTip().toStdString(), reason);
    EXPECT_FALSE(actions.startSync());
    EXPECT_FALSE(actions.runner().syncRunning());

    std::unique_ptr<SharedDatabaseDialog> d(actions.makeDatabaseDialog());
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    const std::string status = d->lbStatus->text().toStdString();
    EXPECT_EQ(status.rfind(reason + ": the records stay in this computer's database", 0), 0u)
        << status;
    EXPECT_FALSE(d->lbPasswords->isVisible());
    EXPECT_FALSE(d->btTest->isEnabled());
    EXPECT_FALSE(d->btOK->isEnabled());
    EXPECT_FALSE(d->ebUri->isEnabled());
    EXPECT_TRUE(d->btCancel->isDefault());
    QTest::keyClicks(d->ebUri, "postgresql://bob@other/q");
    QTest::mouseClick(d->btOK, Qt::LeftButton);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), d->btCancel);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(d->isVisible());
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(actions.sharedUri(), "postgresql://ann@db/q");
    EXPECT_TRUE(dialogs.shown().empty()) << dialogs.texts();
}

struct RightsCase {
    const char* name;
    const char* group; // "" for a role with SELECT only
    const char* says;
};

void PrintTo(const RightsCase& c, std::ostream* os) {
    *os << c.name;
}

class DatabaseDialogTest : public SyncWindowTest,
                           public ::testing::WithParamInterface<RightsCase> {};

// Test shows the schema version and what the role may do, for each of the company's roles.
TEST_P(DatabaseDialogTest, ShowsTheSchemaAndWhatTheRoleMay) {
    const RightsCase& c = GetParam();
    {
        RecordsDatabase owner(location(adminUri()));
        ASSERT_TRUE(owner.open().ok);
        const auto roles = FileStore().readAll(std::string(QARN3_SOURCE_DIR) + "/store/roles.sql");
        ASSERT_TRUE(roles);
        adminValue("SELECT pg_advisory_lock(7)");
        admin(*roles);
        adminValue("SELECT pg_advisory_unlock(7)");
    }
    const std::string role = loginRole("ann", c.group, "pw");
    if (std::string(c.group).empty())
        admin("GRANT SELECT ON ALL TABLES IN SCHEMA public TO " + role);
    SharedDatabaseActions actions(data, services, nullptr);
    std::unique_ptr<SharedDatabaseDialog> d(actions.makeDatabaseDialog());
    d->ebUri->setText(QString::fromStdString(uri(role, "passfile=" + passFile(role, "pw"))));
    QSignalSpy tested(d.get(), &SharedDatabaseDialog::tested);
    d->btTestClick();
    EXPECT_FALSE(d->btTest->isEnabled()) << "one test at a time";
    ASSERT_TRUE(tested.wait(20000));
    const std::string status = d->lbStatus->text().toStdString();
    EXPECT_NE(status.find("records schema version " + std::to_string(newestSchemaVersion())),
              std::string::npos)
        << status;
    EXPECT_NE(status.find("The role " + role + " may " + c.says), std::string::npos) << status;
    EXPECT_TRUE(d->btTest->isEnabled());
    EXPECT_TRUE(dialogs.shown().empty()) << dialogs.texts();
}

INSTANTIATE_TEST_SUITE_P(
    Roles, DatabaseDialogTest,
    ::testing::Values(RightsCase{"Technician", "qarn3_technician", "read and add records and edit"},
                      RightsCase{"Office", "qarn3_office", "read, add, edit and delete"},
                      RightsCase{"ReadOnly", "", "only read records"}),
    [](const auto& c) { return std::string(c.param.name); });

// --- Records/Sync -------------------------------------------------------------------------

// The laptop's records reach the server through the window while the shot writer stores
// shots in the same file; nothing fails, nothing is lost, and a sync with nothing new says so.
TEST_F(SyncWindowTest, SyncsWhileTheShotWriterStores) {
    record(1200);
    SharedDatabaseActions actions(data, services, nullptr);
    ASSERT_TRUE(saveUri(actions, adminUri()));
    ShotWriter writer(DatabaseLocation::file(defaultRecordsPath(data)));
    std::vector<StoreOutcome> outcomes;
    QObject::connect(&writer, &ShotWriter::stored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    ShotContext during = record(0, "Plant B");
    std::vector<SyncProgress> progress;
    QObject::connect(
        &actions.runner(), &SharedDatabaseRunner::syncProgress, [&](const SyncProgress& p) {
            progress.push_back(p);
            // Shots come while rows move, as at a test's pulses.
            if (p.stage != SyncStage::Comparing && progress.size() < 40)
                writer.submit({during, shot(during, static_cast<int>(progress.size()))});
        });

    const SyncReport first = sync(actions);
    ASSERT_TRUE(first.ok) << first.error.message;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front().stage, SyncStage::Comparing);
    EXPECT_EQ(progress.back().done, progress.back().total);
    EXPECT_EQ(first.tables.back().sent, 1200);
    EXPECT_NE(summary(actions).find("Synced"), std::string::npos) << summary(actions);
    EXPECT_TRUE(writer.finish(std::chrono::seconds(20)));
    QTest::qWait(50);
    for (const StoreOutcome& o : outcomes)
        EXPECT_FALSE(o.error) << o.error.message;

    const SyncReport second = sync(actions);
    ASSERT_TRUE(second.ok) << second.error.message;
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toLongLong(), localShots());
    EXPECT_EQ(localShots(), 1200 + static_cast<std::int64_t>(outcomes.size()));
    const SyncReport third = sync(actions);
    ASSERT_TRUE(third.ok);
    EXPECT_NE(summary(actions).find("Nothing to sync"), std::string::npos) << summary(actions);
    EXPECT_TRUE(dialogs.shown().empty()) << dialogs.texts();
}

struct LoginCase {
    const char* name;
    bool passwordFile; // the right password in a password file
    const char* host;  // "" for the server's
    std::vector<std::string> answers;
    int asks;
    const char* says; // "" for a sync that succeeds
    const char* rights = "SELECT, INSERT, UPDATE";
};

void PrintTo(const LoginCase& c, std::ostream* os) {
    *os << c.name;
}

class SyncLogin : public SyncWindowTest, public ::testing::WithParamInterface<LoginCase> {};

// The password is asked on the window's thread only when the client library finds none, is
// asked again at the next sync (never kept), and reaches no file, box or log line; a wrong
// one, none, an unreachable server and a role refused its writes are told clearly and the
// laptop's records stay.
TEST_P(SyncLogin, AsksOnTheWindowsThreadAndTellsClearly) {
    const LoginCase& c = GetParam();
    {
        RecordsDatabase owner(location(adminUri()));
        ASSERT_TRUE(owner.open().ok);
    }
    const std::string role = loginRole("ann", "", "right-pw");
    admin(std::string("GRANT ") + c.rights + " ON ALL TABLES IN SCHEMA public TO " + role);
    record(3);
    std::string options =
        "passfile=" + (c.passwordFile ? passFile(role, "right-pw") : folder + "/none");
    if (std::string(c.host).size()) options += "&host=" + folder + c.host;
    SharedDatabaseActions actions(data, services, nullptr);
    ASSERT_TRUE(saveUri(actions, uri(role, options)));
    for (const std::string& a : c.answers)
        dialogs.answer(a);

    const bool succeeds = std::string(c.says).empty();
    for (int round = 0; round < (succeeds ? 2 : 1); ++round) {
        const SyncReport r = sync(actions, 30000);
        EXPECT_EQ(r.ok, succeeds) << r.error.message;
    }
    const int rounds = succeeds ? 2 : 1;
    EXPECT_EQ(actions.runner().prompt().questions(), c.asks * rounds);
    ASSERT_EQ(dialogs.passwordThreads.size(), static_cast<std::size_t>(c.asks * rounds));
    for (QThread* t : dialogs.passwordThreads)
        EXPECT_EQ(t, qApp->thread());
    if (succeeds) {
        EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 3);
    } else {
        ASSERT_FALSE(dialogs.shown().empty());
        const DialogRecord& box = dialogs.shown().back();
        EXPECT_EQ(box.kind, MsgKind::Error);
        EXPECT_NE(box.text.find(c.says), std::string::npos) << box.text;
        EXPECT_NE(
            box.text.find("Nothing was synced; the records on this computer are as they were"),
            std::string::npos)
            << box.text;
        EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 0);
        EXPECT_EQ(localShots(), 3);
    }
    std::string everything =
        dialogs.texts() + summary(actions) + files.readAll(actions.settingsPath()).value_or("");
    for (const std::string& line : log.lines())
        everything += line + "\n";
    EXPECT_EQ(everything.find("right-pw"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, SyncLogin,
    ::testing::Values(
        LoginCase{"FromThePasswordFile", true, "", {}, 0, ""},
        LoginCase{"AskedEachTimeAndGiven", false, "", {"right-pw", "right-pw"}, 1, ""},
        LoginCase{"WrongOne", false, "", {"wrong"}, 1, "password authentication failed"},
        LoginCase{"Declined", false, "", {"<cancel>"}, 1, "no password was given"},
        LoginCase{
            "UnreachableServerIsNotAskedFor", false, "/no-server", {"right-pw"}, 0, "/no-server"},
        LoginCase{"ARoleThatMayOnlyReadIsRefused", true, "", {}, 0, "permission denied", "SELECT"}),
    [](const auto& c) { return std::string(c.param.name); });

// --- The progress dialog ------------------------------------------------------------------

// A quick sync shows no progress; a long one shows it after half a second with its stage and
// counts, and Cancel stops it before its next transaction, with a summary that says so.
TEST_F(SyncProgress_, ShowsOnLongSyncsAndCancelStopsThem) {
    SharedDatabaseActions actions(data, services, nullptr);
    ASSERT_TRUE(saveUri(actions, "postgresql://ann@db/q"));
    ShowCounter counter;
    qApp->installEventFilter(&counter);
    std::atomic<bool> sawCancel{false};
    bool slow = false;
    actions.setSyncJobMaker([&](const DatabaseLocation& local, const DatabaseLocation& shared) {
        EXPECT_EQ(local.path, defaultRecordsPath(data));
        EXPECT_EQ(shared.display(), "postgresql://ann@db/q");
        return [&, slow](const SyncHooks& hooks, const OpenOptions&) {
            SyncReport r;
            r.tables.push_back({"shot"});
            for (std::int64_t done = 0; slow && !hooks.cancel->load(); ++done) {
                hooks.progress({SyncStage::Sending, "shot", done, 1000});
                r.tables.back().sent = done;
                QThread::msleep(2);
            }
            sawCancel = hooks.cancel->load();
            r.ok = !sawCancel;
            r.cancelled = sawCancel;
            if (sawCancel) r.error.message = "The sync was cancelled";
            return r;
        };
    });
    EXPECT_TRUE(sync(actions).ok);
    EXPECT_EQ(counter.shown, 0) << "a quick sync flashes no window";

    slow = true;
    QSignalSpy finished(&actions, &SharedDatabaseActions::syncFinished);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(actions.startSync());
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.shown > 0; }, 5000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    EXPECT_FALSE(actions.startSync()) << "one sync at a time";
    SyncProgressDialog* progress = actions.progressDialog();
    ASSERT_TRUE(progress);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->pbSync->value() > 0; }, 5000));
    EXPECT_EQ(progress->pbSync->maximum(), 1000);
    EXPECT_NE(progress->lbStage->text().toStdString().find("Sending shots: "), std::string::npos);
    QTest::mouseClick(progress->btCancel, Qt::LeftButton);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(sawCancel);
    const SyncReport r = finished.takeFirst().at(0).value<SyncReport>();
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_NE(summary(actions).find("The sync was cancelled"), std::string::npos);
    EXPECT_NE(summary(actions).find("shots"), std::string::npos) << "what moved is listed";
    qApp->removeEventFilter(&counter);
}

// At exit a worker waiting for a password is let go (no answer) and finish returns within
// its bound, whatever the window's thread was doing.
TEST_F(SyncProgress_, ExitLetsAWorkerWaitingForAPasswordGo) {
    SharedDatabaseActions actions(data, services, nullptr);
    ASSERT_TRUE(saveUri(actions, "postgresql://ann@db/q"));
    std::atomic<int> answered{-1};
    actions.setSyncJobMaker([&](const DatabaseLocation&, const DatabaseLocation& shared) {
        return [&, shared](const SyncHooks&, const OpenOptions& o) {
            answered = o.passwordPrompt->askPassword(shared).has_value() ? 1 : 0;
            return SyncReport{};
        };
    });
    dialogs.answer("never-used");
    ASSERT_TRUE(actions.startSync());
    QThread::msleep(100); // the question is queued for the window's thread, which is busy
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(actions.finish(std::chrono::seconds(2)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(answered.load(), 0);
    QTest::qWait(20);
    EXPECT_TRUE(dialogs.passwordThreads.empty()) << "no box after the end";
}

} // namespace
