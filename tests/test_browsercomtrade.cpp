// The records window's COMTRADE commands as a person uses them: a shot clicked in the list,
// File by its mnemonic, the command by its letter, the file named in the save dialog.
#include "recordswindows/recordsbrowser.h"
#include "recordswindows/shotlistmodel.h"
#include "recordswindows/waveformopener.h"
#include "waveform/waveform.h"
#include "waveform/waveformwindow.h"

#include "comtrade_lines.h"
#include "records_windows_fixture.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class BrowserComtradeTest : public RecordsWindowTest {
public:
    // One session of three shots, pulses from 0.5 s, each with the demonstration waveform;
    // shot i taken at noon on 2026-01-01 plus i seconds.
    void storeSession() {
        ASSERT_EQ(makeDemoFiles(folder + "/demo"), "");
        const auto bytes = files.readAll(folder + "/demo/QARN3Pulse.owf");
        ASSERT_TRUE(bytes);
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        context.site.name = "East Substation";
        context.breaker.designation = "CB-4";
        context.point.pole = Pole::N;
        context.session.analyzerSerial = "SN-4711";
        std::vector<NewShot> shots;
        for (int i = 0; i < 3; ++i) {
            NewShot n = shot(0.2 + 0.1 * i, QByteArray::fromStdString(*bytes));
            n.reading.takenAt = isoUtcFromMsecs(1767268800000LL + i * 1000);
            n.reading.startSeconds = 0.5;
            shots.push_back(n);
        }
        std::vector<ShotRecord> stored;
        ASSERT_FALSE(RecordsStore(db).storeShots(context, shots, stored));
    }

    // The window shown and active, the list's row clicked.
    void clickRow(RecordsBrowser& b, int row) {
        QTableView* t = b.ShotTable;
        ASSERT_TRUE(waitFor([&] { return b.shots().rowCount() > row; }));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {},
                          t->visualRect(b.shots().index(row, 1)).center());
        ASSERT_EQ(t->currentIndex().row(), row);
    }

    // The File menu, opened by Alt+F.
    static QMenu* openFile(RecordsBrowser& b) {
        b.activateWindow();
        if (!QTest::qWaitForWindowActive(&b)) return nullptr;
        QTest::keyClick(&b, Qt::Key_F, Qt::AltModifier);
        waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }, 5000);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    // File by Alt+F and the item by its letter; the job's error once it ended.
    std::string fileCommand(RecordsBrowser& b, Qt::Key item, const std::string& answer) {
        dialogs.answer(answer);
        QString error = "<not ended>";
        auto c = QObject::connect(&b, &RecordsBrowser::jobEnded,
                                  [&](const QString&, const QString& e) { error = e; });
        QMenu* menu = openFile(b);
        if (!menu) return "no File menu";
        QTest::keyClick(menu, item);
        waitFor([&] { return error != "<not ended>"; });
        QObject::disconnect(c);
        return error.toStdString();
    }

    // File and the item by mouse clicks; the job's error once it ended.
    std::string clickFileItem(RecordsBrowser& b, const QString& item, const std::string& answer) {
        dialogs.answer(answer);
        QString error = "<not ended>";
        auto c = QObject::connect(&b, &RecordsBrowser::jobEnded,
                                  [&](const QString&, const QString& e) { error = e; });
        QMenuBar* bar = b.menuBar();
        QAction* file = bar->actions().value(0);
        if (!file) return "no menus";
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file).center());
        waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }, 5000);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return "no File menu";
        for (QAction* a : menu->actions())
            if (a->text() == item) {
                if (!a->isEnabled()) return "disabled";
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
            }
        waitFor([&] { return error != "<not ended>"; });
        QObject::disconnect(c);
        return error.toStdString();
    }

    static std::vector<std::string> cfgLines(const std::string& text) {
        return comtradeLines(text);
    }
};

TEST_F(BrowserComtradeTest, SavesTheClickedShotAndTheWholeSessionAsComtrade) {
    storeSession();
    RecordsBrowser b(host(), nullptr);
    b.setMainsHz([] { return 50; });
    b.show();
    b.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&b));
    clickRow(b, 1); // newest first: the second shot taken

    const std::string one = folder + "/one.cfg";
    ASSERT_EQ(fileCommand(b, Qt::Key_T, one), "");
    const DialogRecord& asked = dialogs.shown().back();
    EXPECT_EQ(asked.caption, "Save Waveform as COMTRADE");
    EXPECT_EQ(asked.filter, "COMTRADE configuration files|*.cfg");
    const auto cfg = files.readAll(one);
    ASSERT_TRUE(cfg);
    const std::vector<std::string> lines = cfgLines(*cfg);
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find(',')), "East Substation");
    EXPECT_NE(lines[2].find(",N,CB-4,A,"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[1].substr(0, 1), "2"); // with the detector's ON
    EXPECT_EQ(lines[4], "50");
    EXPECT_TRUE(files.exists(folder + "/one.dat"));
    EXPECT_NE(b.lbStatus->text().indexOf("written to"), -1);

    // The session of the shot clicked: a pair of files per shot, oldest first.
    const std::string base = folder + "/visit";
    ASSERT_EQ(clickFileItem(b, "Save the Session's &Waveforms as COMTRADE...", base + ".cfg"), "");
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(files.exists(base + "-" + std::to_string(i) + ".cfg")) << i;
        EXPECT_TRUE(files.exists(base + "-" + std::to_string(i) + ".dat")) << i;
    }
    EXPECT_FALSE(files.exists(base + "-4.cfg"));
    EXPECT_EQ(files.readAll(base + "-2.cfg"), cfg); // the second taken is the one saved first
    EXPECT_EQ(b.job().progress(), 3);
}

// The shot opened in the viewer (Ctrl+O) and saved from there names the same records.
TEST_F(BrowserComtradeTest, ViewerOfAShotSavesItWithTheShotsRecords) {
    storeSession();
    qputenv("TMPDIR", QByteArray::fromStdString(folder));
    ViewerWaveformOpener opener(services, folder, '.', [] { return 50; });
    RecordsBrowser b(host(), &opener);
    b.setMainsHz([] { return 50; });
    b.show();
    b.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&b));
    clickRow(b, 2); // the first shot taken
    QTest::keyClick(b.ShotTable, Qt::Key_O, Qt::ControlModifier);
    qunsetenv("TMPDIR");
    ASSERT_NE(opener.window(), nullptr);
    ASSERT_TRUE(waitFor([&] { return opener.window()->isVisible(); }));
    dialogs.answer(MsgButton::No); // the whole waveform
    dialogs.answer(folder + "/viewed.cfg");
    QTest::mouseClick(opener.window()->ComtradeButton, Qt::LeftButton);
    const auto cfg = files.readAll(folder + "/viewed.cfg");
    ASSERT_TRUE(cfg) << (dialogs.shown().empty() ? "" : dialogs.shown().back().text);
    const std::vector<std::string> lines = cfgLines(*cfg);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find(',')), "East Substation");
    EXPECT_NE(lines[2].find(",N,CB-4,A,"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[1].substr(0, 1), "2");
    EXPECT_EQ(lines[4], "50");
    // As the records window writes the same shot.
    clickRow(b, 2);
    ASSERT_EQ(fileCommand(b, Qt::Key_T, folder + "/listed.cfg"), "");
    EXPECT_EQ(files.readAll(folder + "/listed.cfg"), cfg);
    EXPECT_EQ(files.readAll(folder + "/listed.dat"), files.readAll(folder + "/viewed.dat"));
}

TEST_F(BrowserComtradeTest, CancelledDialogWritesNothingAndAShotWithoutWaveformIsTold) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    std::vector<ShotRecord> stored;
    ASSERT_FALSE(RecordsStore(db).storeShots(context, {shot()}, stored));
    RecordsBrowser b(host(), nullptr);
    b.show();
    b.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&b));
    clickRow(b, 0);
    QMenu* menu = openFile(b);
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_T);
    EXPECT_TRUE(dialogs.shown().empty()); // no file asked for a waveform that is not there
    EXPECT_EQ(b.lbStatus->text(), "This shot has no stored waveform.");

    dialogs.answer("<cancel>");
    menu = openFile(b);
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_W);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_FALSE(b.job().running());
    EXPECT_TRUE(QDir(QString::fromStdString(folder)).entryList({"*.cfg"}).isEmpty());
}

} // namespace
