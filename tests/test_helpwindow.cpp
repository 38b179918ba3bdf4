#include "app/mainwindow.h"
#include "app/startfacts.h"
#include "help/helpwindow.h"
#include "help/qthelpviewer.h"
#include "platform/nodevice.h"
#include "platform/qt_dialogs.h"
#include "program_fixture.h"
#include "record_fixture.h"
#include "support/fake_transports.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHelpContentModel>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpSearchEngine>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace qarn3;
using namespace qarn3::test;
namespace fs = std::filesystem;

namespace {

const std::string kBuiltHelpFile = QARN3_TEST_HELP_FILE;

// Runs the event loop until the condition holds (bounded, so a broken build fails instead of
// hanging).
template <typename Condition> bool waitFor(Condition done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

void pressF1(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

QString pageOf(const QUrl& url) {
    return url.fileName();
}

class HelpWindowTest : public RecordTest {
protected:
    HelpWindowTest() { fs::create_directories(folder + "/prog"); }

    StartedProgram start(bool withHelpFile) {
        if (withHelpFile) fs::copy_file(kBuiltHelpFile, folder + "/prog/QARN3.qch");
        ProgramOptions o;
        o.folders = {folder + "/prog", folder};
        o.args = {"QARN3Pulse.owf"};
        o.helpViewer = &viewer;
        StartedProgram w(ProgramAssembly::Platform(o, dialogs, waits, log, files, usbApi, nullptr));
        w->program().FormPaint();
        dialogs.clear(); // the start-up's own boxes
        return w;
    }

    VirtualWaits waits;
    NoDeviceMpusb usbApi;
    QtHelpViewer viewer{QString::fromStdString(folder + "/cache")};
};

TEST(HelpFile, IsBuiltBesideTheProgramWithTheGuide) {
    ASSERT_TRUE(fs::is_regular_file(kBuiltHelpFile)) << kBuiltHelpFile;
    EXPECT_EQ(QHelpEngineCore::namespaceName(QString::fromStdString(kBuiltHelpFile)),
              "qarn3.guide");
}

TEST_F(HelpWindowTest, EveryPageIsReachableFromTheContentsAndEveryLinkLeadsToAPage) {
    THelpWindow window(QString::fromStdString(kBuiltHelpFile),
                       QString::fromStdString(folder + "/cache/c.qhc"));
    ASSERT_TRUE(window.ready());
    QHelpContentModel* model = window.engine().contentModel();
    ASSERT_TRUE(waitFor([&] { return !model->isCreatingContents() && model->rowCount() > 0; }));

    std::set<QString> reachable;
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex i = model->index(r, 0, parent);
            reachable.insert(pageOf(model->contentItemAt(i)->url()));
            walk(i);
        }
    };
    walk(QModelIndex());

    const QList<QUrl> pages = window.engine().files(window.helpNamespace(), QString(), "html");
    ASSERT_GE(pages.size(), 12);
    const QRegularExpression href("href=\"([^\"#:]*)(#[^\"]*)?\"");
    std::set<QString> names;
    for (const QUrl& f : pages)
        names.insert(pageOf(f));
    for (const QUrl& f : pages) {
        EXPECT_TRUE(reachable.count(pageOf(f))) << pageOf(f).toStdString() << " not in contents";
        const QString html = QString::fromUtf8(window.engine().fileData(f));
        EXPECT_TRUE(html.contains("<h1>")) << pageOf(f).toStdString();
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            if (target.isEmpty() || target.endsWith(".css")) continue;
            EXPECT_TRUE(names.count(target))
                << pageOf(f).toStdString() << " links to missing " << target.toStdString();
        }
    }
}

TEST_F(HelpWindowTest, BackAndForwardRetraceThePagesRead) {
    THelpWindow window(QString::fromStdString(kBuiltHelpFile),
                       QString::fromStdString(folder + "/cache/c.qhc"));
    window.showPage("index.html");
    window.showPage("limits.html");
    window.showPage("files.html");
    EXPECT_TRUE(window.backAction()->isEnabled());
    window.backAction()->trigger();
    EXPECT_EQ(pageOf(window.currentUrl()), "limits.html");
    window.forwardAction()->trigger();
    EXPECT_EQ(pageOf(window.currentUrl()), "files.html");
    window.homeAction()->trigger();
    EXPECT_EQ(pageOf(window.currentUrl()), "index.html");
    EXPECT_TRUE(window.browser()->toPlainText().contains("Your first test, step by step"));
}

TEST_F(HelpWindowTest, RelativeHelpFilePathStillShowsPages) {
    const fs::path relative = fs::relative(kBuiltHelpFile);
    ASSERT_TRUE(relative.is_relative());
    THelpWindow window(QString::fromStdString(relative.string()),
                       QString::fromStdString(folder + "/cache/c.qhc"));
    window.showPage("demo.html");
    EXPECT_TRUE(window.browser()->toPlainText().contains("QARN3Pulse.owf"));
}

TEST_F(HelpWindowTest, SearchFindsThePagesOfAWord) {
    THelpWindow window(QString::fromStdString(kBuiltHelpFile),
                       QString::fromStdString(folder + "/cache/c.qhc"));
    QHelpSearchEngine* search = window.engine().searchEngine();
    bool indexed = false;
    QObject::connect(search, &QHelpSearchEngine::indexingFinished, [&] { indexed = true; });
    ASSERT_TRUE(waitFor([&] { return indexed; }));
    int hits = -1;
    QObject::connect(search, &QHelpSearchEngine::searchingFinished, [&](int n) { hits = n; });
    search->search("udev");
    ASSERT_TRUE(waitFor([&] { return hits >= 0; }));
    EXPECT_GE(hits, 1);
}

TEST_F(HelpWindowTest, F1InTheMainWindowOpensItsPage) {
    auto w = start(true);
    pressF1(w->BitBtnRunStopReset);
    ASSERT_NE(viewer.window(), nullptr);
    EXPECT_TRUE(viewer.window()->isVisible());
    EXPECT_EQ(pageOf(viewer.window()->currentUrl()), "main-window.html");
    EXPECT_TRUE(viewer.window()->browser()->toPlainText().contains("Pulse Current"));
    EXPECT_TRUE(dialogs.shown().empty());
}

// The collection is the window's own cache; a damaged one (a crash while it was written, a disk
// error) must not make the help look uninstalled for good.
TEST_F(HelpWindowTest, DamagedCollectionIsMadeAnewAndF1StillOpensThePage) {
    fs::create_directories(folder + "/cache");
    const std::string collection = folder + "/cache/qarn3-help.qhc";
    std::ofstream(collection, std::ios::binary) << std::string(4096, '\x5a');
    auto w = start(true);
    pressF1(w->BitBtnRunStopReset);
    EXPECT_TRUE(dialogs.shown().empty());
    ASSERT_NE(viewer.window(), nullptr);
    EXPECT_EQ(pageOf(viewer.window()->currentUrl()), "main-window.html");
    EXPECT_TRUE(viewer.window()->browser()->toPlainText().contains("Pulse Current"));
}

// A cache folder that cannot be made (here a file is in its way; as root no permission stops
// it) still lets the help show, from a collection that goes with the window.
TEST_F(HelpWindowTest, UnusableCacheFolderStillShowsPagesAndLeavesNothingBehind) {
    put("blocked", "a file, not a folder");
    QString scratch;
    {
        THelpWindow window(QString::fromStdString(kBuiltHelpFile),
                           QString::fromStdString(folder + "/blocked/c.qhc"));
        ASSERT_TRUE(window.ready());
        window.showPage("limits.html");
        EXPECT_EQ(pageOf(window.currentUrl()), "limits.html");
        EXPECT_FALSE(window.browser()->toPlainText().isEmpty());
        scratch = QFileInfo(window.engine().collectionFile()).absolutePath();
        EXPECT_FALSE(scratch.startsWith(QString::fromStdString(folder)));
    }
    EXPECT_FALSE(QFileInfo::exists(scratch)) << scratch.toStdString();
}

// The shell failure's text breaks its line with a carriage return alone; the box shows two
// lines, not the call and the reason run together.
TEST(MessageBox, CarriageReturnAloneBreaksTheLine) {
    QtDialogs dialogs;
    QStringList shown;
    for (const char* text :
         {"Function ShellExecute(a.pdf, )\rReturned: [Error:2] File Not Found", "one\r\ntwo"}) {
        QTimer::singleShot(0, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            shown << box->text();
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.systemBox(text, "QARN3 Breaker Tester Analyzer", {MsgButton::OK});
    }
    EXPECT_EQ(shown.join('|').toStdString(),
              "Function ShellExecute(a.pdf, )\nReturned: [Error:2] File Not Found|one\ntwo");
}

TEST_F(HelpWindowTest, F1InTheCalibrationWindowOpensItsPage) {
    auto w = start(true);
    QDialog calibration(&*w);
    setHelpContext(&calibration, kCalibrationHelpContext);
    auto* factor = new QLineEdit(&calibration);
    calibration.show();
    pressF1(factor);
    ASSERT_NE(viewer.window(), nullptr);
    EXPECT_EQ(pageOf(viewer.window()->currentUrl()), "calibration.html");
}

TEST_F(HelpWindowTest, HelpContentsOpensTheStartPageAndExitClosesIt) {
    auto w = start(true);
    w->program().mContentsClick();
    ASSERT_NE(viewer.window(), nullptr);
    EXPECT_EQ(pageOf(viewer.window()->currentUrl()), "index.html");
    w->program().FormCloseQuery();
    EXPECT_FALSE(viewer.window()->isVisible());
}

TEST_F(HelpWindowTest, MissingHelpFileSaysSoAndOpensNothing) {
    auto w = start(false);
    pressF1(w->BitBtnRunStopReset);
    w->program().mContentsClick();
    EXPECT_EQ(viewer.window(), nullptr);
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].text, "MS Html Help is not installed on this PC.");
    EXPECT_EQ(dialogs.shown()[0].caption, "QARN3 Breaker Tester Analyzer");
}

TEST_F(HelpWindowTest, AboutShowsTheVersionLast) {
    auto w = start(false);
    w->program().mAboutClick();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const DialogRecord& about = dialogs.shown()[0];
    EXPECT_EQ(about.caption, "QARN3");
    EXPECT_EQ(about.buttons, (std::vector<MsgButton>{MsgButton::OK, MsgButton::Cancel}));
    EXPECT_NE(about.text.find("Serial port component"), std::string::npos);
    EXPECT_TRUE(about.text.ends_with("\n\nVersion: 0.0.0.0")) << about.text;
}

TEST_F(HelpWindowTest, StartFactsFromTheCommandLine) {
    put("prog/qarn3", "x");
    fs::create_directories(folder + "/root/etc");
    put("root/etc/os-release", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
    const std::string module = folder + "/prog/qarn3";
    const SystemReportFacts f =
        startFacts({QString::fromStdString(module), "My Test.owf", "-DEBUG"}, module,
                   folder + "/share", "0.1.0", ',', "6.4.2", folder + "/root");
    EXPECT_TRUE(f.DebugEnabled);
    EXPECT_EQ(f.ModuleDir, folder + "/prog");
    EXPECT_EQ(f.ModuleName, "qarn3");
    EXPECT_EQ(f.RunDir, folder + "/prog");
    EXPECT_EQ(f.exeVersion, "0.1.0.0");
    EXPECT_EQ(f.moduleVersion, "0.1.0.0");
    EXPECT_EQ(f.args, (std::vector<std::string>{"My Test.owf", "-DEBUG"}));
    EXPECT_EQ(f.rawCommandLine, module + " \"My Test.owf\" -DEBUG");
    EXPECT_EQ(f.os.name, "Debian GNU/Linux");
    EXPECT_EQ(f.ViewerVerStr, "6.4.2.0");
    EXPECT_EQ(f.BrowserVerStr, "");
    // The marker counts in the program folder the help file is taken from, not beside the
    // program file.
    put("prog/debug.debug", "");
    const SystemReportFacts bare =
        startFacts({"qarn3"}, module, folder + "/share/", "0.1.0", '.', "", folder + "/root");
    EXPECT_FALSE(bare.DebugEnabled);
    EXPECT_EQ(bare.ProgFolder, folder + "/share");
    EXPECT_EQ(bare.RunDir, folder + "/prog"); // found through PATH: the program's own folder
    EXPECT_EQ(bare.exeVersion, "0.1.0.0");
    fs::create_directories(folder + "/share");
    put("share/debug.debug", "");
    EXPECT_TRUE(startFacts({"qarn3"}, module, folder + "/share", "0.1.0", '.', "").DebugEnabled);
}

} // namespace
