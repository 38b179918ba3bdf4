#include "app/mainwindow.h"
#include "program_fixture.h"

#include "app/datafile.h"
#include "calsetup/caldate.h"
#include "calsetup/calwindow.h"
#include "calsetup/setupdialog.h"
#include "diag/debugwindow.h"
#include "link/commwindow.h"
#include "link/usbwindow.h"
#include "platform/nodevice.h"
#include "platform/textformat.h"
#include "record_fixture.h"
#include "support/fake_transports.h"
#include "waveform/comtrade.h"
#include "waveform/plotwidget.h"
#include "waveform/waveformwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <cstring>
#include <memory>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class MainWindowTest : public RecordTest {
protected:
    StartedProgram start(std::vector<std::string> args, char separator = '.') {
        ProgramOptions o;
        o.decimalSeparator = separator;
        o.folders = {folder, folder};
        o.args = std::move(args);
        o.programFileDate = "08/12/2026";
        StartedProgram w(ProgramAssembly::Platform(o, dialogs, waits, log, files, usbApi, nullptr));
        w->program().FormPaint();
        return w;
    }
    std::string status(TfmQARN3& w, int i) {
        return w.StatusPanels[static_cast<std::size_t>(i)]->text().toStdString();
    }
    std::string firstError() {
        for (const auto& r : dialogs.shown())
            if (r.caption == "Error") return r.text;
        return {};
    }
    bool shownBox(const std::string& caption) {
        for (const auto& r : dialogs.shown())
            if (r.caption == caption) return true;
        return false;
    }
    void ticks(TfmQARN3& w, int n) {
        for (int i = 0; i < n; ++i)
            w.program().UpdateTimerTick();
    }
    void key(TfmQARN3& w, char c) {
        QKeyEvent press(QEvent::KeyPress, c == 27 ? Qt::Key_Escape : 0, Qt::NoModifier,
                        QString(QChar(c)));
        QCoreApplication::sendEvent(w.BitBtnRunStopReset, &press);
    }

    VirtualWaits waits;
    NoDeviceMpusb usbApi;
};

TEST_F(MainWindowTest, CommandLineWaveformStartsTheDemonstrationWithoutAHardwareCheck) {
    auto w = start({"QARN3Pulse.owf"});
    EXPECT_FALSE(shownBox("Hardware Check"));
    EXPECT_EQ(w->windowTitle(), "QARN-3 Rev: 08/12/2026");
    EXPECT_EQ(status(*w, 1), "Press RUN to start DEMO");
    EXPECT_EQ(status(*w, 2), "QARN3Pulse.owf");
    EXPECT_EQ(w->BitBtnRunStopReset->text(), "RUN");
    EXPECT_FALSE(w->btAnalyze->isEnabled());

    w->BitBtnRunStopReset->click();
    ticks(*w, 5); // 1 s: the first pulse has been measured
    EXPECT_EQ(w->ebPulseCurr->text(), "331.3 A");
    EXPECT_EQ(w->ebPulseSec->text(), "  0.0504 secs");
    ticks(*w, 55);
    EXPECT_EQ(status(*w, 1), "Test Timeout");
    EXPECT_EQ(w->statusBar()->palette().color(QPalette::Window), QColor(0, 128, 0));
    EXPECT_EQ(w->BitBtnRunStopReset->text(), "RESET");
    EXPECT_TRUE(w->btAnalyze->isEnabled());
    EXPECT_EQ(w->ebPulseCurr->text(), "312.2 A");
    EXPECT_EQ(w->ebPulseCyc->text(), "   14.98 cycs");

    w->BitBtnRunStopReset->click();
    EXPECT_EQ(status(*w, 1), "Press RUN to start DEMO");
    EXPECT_EQ(w->BitBtnRunStopReset->text(), "RUN");
    EXPECT_EQ(w->ebPulseCurr->text(), "  0.0 A");
}

// Widgets of a kind alive now.
template <typename W> int alive() {
    int n = 0;
    for (QWidget* w : QApplication::allWidgets())
        n += dynamic_cast<W*>(w) ? 1 : 0;
    return n;
}

// The start-up and a test make none of the secondary windows; each is made at its first
// opening, once.
TEST_F(MainWindowTest, SecondaryWindowsAreMadeWhenFirstOpened) {
    auto w = start({"QARN3Pulse.owf"});
    w->BitBtnRunStopReset->click();
    ticks(*w, 10);
    EXPECT_EQ(alive<TfmDebug>() + alive<TfmSetup>() + alive<TfmCal>() + alive<TfmWaveform>() +
                  alive<TfmUSB>() + alive<TfmComm>(),
              0);

    w->program().mHardwareStatusClick(); // the COM link's window, as the setup's source
    w->showDebugWindow();
    TfmSetup* setup = w->setupWindow();
    TfmCal* calibration = w->calibrationWindow();
    TfmWaveform* waveform = w->waveformWindow();
    EXPECT_EQ(w->setupWindow(), setup);
    EXPECT_EQ(w->calibrationWindow(), calibration);
    EXPECT_EQ(w->waveformWindow(), waveform);
    w->program().mHardwareStatusClick();
    w->showDebugWindow();
    EXPECT_EQ(alive<TfmComm>(), 1);
    EXPECT_EQ(alive<TfmDebug>(), 1);
    EXPECT_EQ(alive<TfmSetup>() + alive<TfmCal>() + alive<TfmWaveform>(), 3);
    EXPECT_EQ(alive<TfmUSB>(), 0);
}

TEST_F(MainWindowTest, MissingCommandLineFileKeepsTheSetupSourceAndChecksNothing) {
    auto w = start({"nothere.owf"});
    EXPECT_FALSE(shownBox("Hardware Check"));
    EXPECT_FALSE(w->program().demoMode());
    EXPECT_EQ(w->program().setup.SourceKind, kSourceCom);
}

TEST_F(MainWindowTest, NoAnalyzerAndCancelEntersDemonstrationMode) {
    dialogs.answer(MsgButton::Cancel);
    auto w = start({});
    ASSERT_TRUE(shownBox("Hardware Check"));
    EXPECT_TRUE(w->program().demoMode());
    EXPECT_EQ(w->program().setup.SourceKind, kSourceNone);
    EXPECT_EQ(w->program().wave.FileName, "QARN3Pulse.owf");
    EXPECT_EQ(status(*w, 1), "Press RUN to start DEMO");
}

TEST_F(MainWindowTest, LongTestModeLoadsTheLongDemonstration) {
    put("QARN3.osf", "4\r\n5.00\r\n5.00\r\nx.odf\r\nWAV\r\n4\r\n1\r\n  1000\r\n100.00\r\n");
    dialogs.answer(MsgButton::Cancel);
    auto w = start({});
    EXPECT_TRUE(shownBox("Hardware Check")); // asked even with no analyzer source
    EXPECT_EQ(w->program().wave.FileName, "QARN3Long.owf");
}

TEST_F(MainWindowTest, DamagedSetupFileIsReportedAndStartUpGoesOn) {
    put("QARN3.osf", "6\r\n2.50\r\nlots\r\nx.odf\r\nCOM\r\n4\r\n0\r\n  1000\r\n0\r\n");
    auto w = start({"QARN3Pulse.owf"});
    EXPECT_EQ(firstError(),
              "'lots' is not a valid floating point value\n(" + file("QARN3.osf") + ")");
    EXPECT_EQ(w->program().setup.RangeIndex, 6);
    EXPECT_DOUBLE_EQ(w->program().setup.MaxOnTime, 2.5);
    EXPECT_DOUBLE_EQ(w->program().setup.MaxOffTime, 5.0);
    EXPECT_EQ(status(*w, 1), "Press RUN to start DEMO");

    put("QARN3.osf", "6\r\n2.50\r\n3.00\r\nx.odf\r\nCOM\r\n4\r\n0\r\n  1000\r\n0\r\n");
    dialogs.clear();
    auto w2 = start({"QARN3Pulse.owf"});
    EXPECT_EQ(firstError(),
              "Shunt Amperes and Shunt Millivolts must be greater than zero; using 1000 A / "
              "100 mV.");
    EXPECT_EQ(w2->ComboBoxRange->itemText(3), "500.0 A");
}

TEST_F(MainWindowTest, RetryShowsTheCableStepsThenCancel) {
    dialogs.answerList("Retry,OK,OK,Cancel");
    auto w = start({});
    std::vector<std::string> texts;
    for (const auto& r : dialogs.shown())
        if (r.caption == "Hardware Check" || r.caption == "Retry") texts.push_back(r.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Hardware Not Found. Try again?",
                                               "Turn Analyzer off, remove USB cable",
                                               "Turn Analyzer on and replace USB cable",
                                               "Hardware Not Found. Try again?"}));
    EXPECT_TRUE(w->program().demoMode());
}

TEST_F(MainWindowTest, CalibrationPanelColoursByAge) {
    auto w = start({"QARN3Pulse.owf"});
    const long today = todayDayNumber();
    // Red beyond a year, yellow in its last month, the year's day itself included.
    const std::pair<long, QColor> cases[] = {{today - 366, QColor(255, 0, 0)},
                                             {today - 365, QColor(255, 255, 0)},
                                             {today - 336, QColor(255, 255, 0)},
                                             {today - 335, QColor(0, 255, 0)},
                                             {today, QColor(0, 255, 0)}};
    for (const auto& [day, colour] : cases) {
        w->program().cal.CalDate = static_cast<double>(day);
        w->program().ResetData();
        EXPECT_EQ(w->PanelCal->palette().color(QPalette::Window), colour) << day;
        EXPECT_EQ(w->PanelCal->text().toStdString(), "Calibration Date " + w->shortDate(day));
    }
    // A calibration in error is never shown green, however new its date (the defaults carry
    // today's).
    w->program().cal.CalError = true;
    w->program().ResetData();
    EXPECT_EQ(w->PanelCal->palette().color(QPalette::Window), QColor(255, 0, 0));
}

// The status text and the source share the bar: both show whole where they can, and a text
// that still does not fit is its panel's tooltip.
TEST_F(MainWindowTest, StatusPanelsShowTheirWholeTexts) {
    auto w = start({"QARN3Pulse.owf"});
    w->show();
    const auto whole = [&](int i) {
        const QLabel* p = w->StatusPanels[static_cast<std::size_t>(i)];
        return p->width() >= p->sizeHint().width() && p->toolTip().isEmpty();
    };
    const std::pair<const char*, const char*> shown[] = {
        {"Armed - Initiate test current", "SIM0000001 on USB port"},
        {"Armed - Initiate test current", "/dev/pts/0 on SIM0000001"},
        {"Test in progress", "/dev/ttyACM0 on SIM0000001"}};
    for (const auto& [status, source] : shown) {
        w->setStatusPanel(1, status);
        w->setStatusPanel(2, source);
        EXPECT_TRUE(whole(1)) << status;
        EXPECT_TRUE(whole(2)) << source;
    }
    // The last panel is narrow while empty and shows a data error warning whole, before the
    // texts beside it.
    EXPECT_EQ(w->StatusPanels[3]->width(), 20);
    w->setStatusPanel(1, "Test Timeout");
    w->setStatusPanel(2, "SIM0000001 on USB port");
    w->setStatusPanel(3, "Data errors during this test: 1019");
    EXPECT_TRUE(whole(1));
    EXPECT_TRUE(whole(3));
    w->setStatusPanel(1, "Armed - Initiate test current");
    w->setStatusPanel(2, "/dev/ttyACM0 on SIM0000001");
    EXPECT_TRUE(whole(3));
    w->setStatusPanel(3, "");
    EXPECT_EQ(w->StatusPanels[3]->width(), 20);
    const std::string tooLong(200, 'x');
    w->setStatusPanel(2, tooLong);
    EXPECT_TRUE(whole(1));
    EXPECT_EQ(w->StatusPanels[2]->toolTip().toStdString(), tooLong);
}

TEST_F(MainWindowTest, RangeLabelsForTheDefaultShunt) {
    auto w = start({"QARN3Pulse.owf"});
    QStringList labels;
    for (int i = 0; i < 8; ++i)
        labels << w->ComboBoxRange->itemText(i);
    EXPECT_EQ(labels, QStringList({"50.00 A", "100.00 A", "250.00 A", "500.0 A", "1000.0 A",
                                   "2500.0 A", "5000 A", "10000 A"}));
    EXPECT_EQ(w->ComboBoxRange->currentIndex(), 3);
    EXPECT_EQ(w->ebShunt->text(), "Shunt:  1000 A   100.00 mV ");
}

TEST_F(MainWindowTest, MaxOnSpinSteps) {
    auto w = start({"QARN3Pulse.owf"});
    QStringList seen;
    for (int i = 0; i < 6; ++i) {
        w->sbMaxOnDown->click();
        seen << w->ebMaxOn->text();
    }
    EXPECT_EQ(seen, QStringList({" 4.0", " 3.0", " 2.0", " 1.0", " 0.9", " 0.8"}));
    for (int i = 0; i < 20; ++i)
        w->sbMaxOnDown->click();
    EXPECT_EQ(w->ebMaxOn->text(), " 0.0");
    EXPECT_DOUBLE_EQ(w->program().setup.MaxOnTime, 0.0);
    w->program().setup.MaxOffTime = 9.0;
    seen.clear();
    for (int i = 0; i < 3; ++i) {
        w->sbMaxOffUp->click();
        seen << w->ebMaxOff->text();
    }
    EXPECT_EQ(seen, QStringList({"10.0", "20.0", "30.0"}));
    EXPECT_DOUBLE_EQ(Program::stepUp(0.0), 0.1);
    EXPECT_DOUBLE_EQ(Program::stepUp(0.9), 1.0);
    EXPECT_DOUBLE_EQ(Program::stepDown(20.0), 10.0);
}

TEST_F(MainWindowTest, PlusAndMinusKeysStayWithinTheRanges) {
    auto w = start({"QARN3Pulse.owf"});
    auto& setup = w->program().setup;
    setup.RangeIndex = 8;
    key(*w, '+');
    EXPECT_EQ(setup.RangeIndex, 8);
    key(*w, '-');
    EXPECT_EQ(setup.RangeIndex, 7);
    EXPECT_EQ(w->ComboBoxRange->currentIndex(), 6);
    setup.RangeIndex = 1;
    key(*w, '-');
    EXPECT_EQ(setup.RangeIndex, 1);
    // Keys are ignored while the range list is disabled, Esc included.
    w->setRangeListEnabled(false);
    key(*w, '+');
    key(*w, 27);
    EXPECT_EQ(setup.RangeIndex, 1);
    EXPECT_FALSE(w->program().exited);
    w->setRangeListEnabled(true);
    key(*w, 27);
    EXPECT_TRUE(w->program().exited);
}

TEST_F(MainWindowTest, RangeListChangeResetsTheReadingsAndKeysKeepThem) {
    auto w = start({"QARN3Pulse.owf"});
    w->BitBtnRunStopReset->click();
    ticks(*w, 3);
    ASSERT_EQ(w->ebPulseCurr->text(), "331.3 A");
    w->program().setup.RangeIndex = 4;
    ASSERT_EQ(w->program().readings().state, TestState::Rearmed); // between pulses: keys act
    w->setRangeListEnabled(true);
    key(*w, '+');
    EXPECT_EQ(w->ebPulseCurr->text(), "331.3 A");
    w->program().ComboBoxRangeChange(2);
    EXPECT_EQ(w->program().setup.RangeIndex, 3);
    EXPECT_EQ(w->ebPulseCurr->text(), " 0.00 A");
}

TEST_F(MainWindowTest, SaveDataBeforeAnyTestAndTwice) {
    auto w = start({"QARN3Pulse.owf"});
    dialogs.answer(file("results.odf"));
    w->program().mSaveClick();
    EXPECT_EQ(contents("results.odf"), "    0.00\r\n   0.000\r\n   0.000\r\n");
    const auto& box = dialogs.shown().back();
    EXPECT_EQ(box.caption, "Select Data File");
    EXPECT_EQ(box.filter, "Velkorand Data Files|*.odf|Old Data Files|*.dat");
    w->BitBtnRunStopReset->click();
    ticks(*w, 5);
    dialogs.answer(file("results.odf"));
    w->program().mSaveClick();
    EXPECT_EQ(contents("results.odf"), "  331.33\r\n   0.050\r\n   0.000\r\n");
    dialogs.answer("<cancel>");
    w->program().mSaveClick();
    EXPECT_EQ(contents("results.odf"), "  331.33\r\n   0.050\r\n   0.000\r\n");
}

TEST_F(MainWindowTest, FailedSaveKeepsTheOldResults) {
    auto w = start({"QARN3Pulse.owf"});
    dialogs.answer(folder + "/no/such/dir/results.odf");
    w->program().mSaveClick();
    EXPECT_EQ(dialogs.shown().back().text,
              "Error writing file: " + folder + "/no/such/dir/results.odf");
    EXPECT_EQ(dialogs.shown().back().buttons, std::vector<MsgButton>{MsgButton::Abort});
}

// The engine goes on during the half-second wait before the file is written: the file holds
// the readings of the moment it is written.
TEST_F(MainWindowTest, SaveDataWritesTheReadingsOfTheMomentOfWriting) {
    auto w = start({"QARN3Pulse.owf"});
    w->BitBtnRunStopReset->click();
    ticks(*w, 8);
    ASSERT_EQ(w->ebPulseCurr->text(), "331.3 A"); // the first pulse; the second is under way
    waits.pump = [&] {
        if (waits.nowMs % 200 == 0) w->program().UpdateTimerTick();
    };
    dialogs.answer(file("results.odf"));
    w->program().mSaveClick();
    waits.pump = nullptr;
    const EngineReadings& r = w->program().readings();
    ASSERT_NE(w->ebPulseCurr->text(), "331.3 A");
    EXPECT_EQ(contents("results.odf"),
              dataFileText(r.pulseAmps,
                           r.onSamples * static_cast<double>(w->program().wave.SamplePeriod), '.'));
}

TEST(DataFile, CommaLocaleAndWideValues) {
    EXPECT_EQ(dataFileText(512.3456, 200 / 2400.0, ','), "  512,35\r\n   0,083\r\n   0,000\r\n");
    EXPECT_EQ(dataFileText(123456789.0, 1.0, '.'), "123456789.00\r\n   1.000\r\n   0.000\r\n");
}

TEST_F(MainWindowTest, OpenEntersDemonstrationModeEvenWhenCancelled) {
    auto w = start({"nothere.owf"});
    ASSERT_FALSE(w->program().demoMode());
    dialogs.answer("<cancel>");
    w->program().mOpenClick();
    EXPECT_TRUE(w->program().demoMode());
    EXPECT_EQ(w->program().wave.FileName, "QARN3Pulse.owf");
    dialogs.answer(file("QARN3Long.owf"));
    w->program().mOpenClick();
    EXPECT_EQ(w->program().wave.FileName, "QARN3Long.owf");
    EXPECT_EQ(w->program().setup.TestMode, 1);
}

TEST_F(MainWindowTest, OpenShowsTheFileNameAndKeepsItsFolder) {
    auto w = start({"QARN3Pulse.owf"});
    std::filesystem::create_directory(file("elsewhere"));
    std::filesystem::copy_file(file("QARN3Long.owf"), file("elsewhere/Mine.owf"));
    dialogs.answer(file("elsewhere/Mine.owf"));
    w->program().mOpenClick();
    EXPECT_EQ(w->program().wave.FileName, "Mine.owf");
    EXPECT_EQ(status(*w, 2), "Mine.owf");
    EXPECT_EQ(w->program().setup.TestMode, 1); // the file's own type letter
    // Cancel plays the same file again, from its folder.
    dialogs.clear();
    dialogs.answer("<cancel>");
    w->program().mOpenClick();
    EXPECT_EQ(w->program().wave.FileName, "Mine.owf");
    EXPECT_EQ(firstError(), "");
}

TEST_F(MainWindowTest, WaveformSavedInTheDataFolderIsPlayedFromThereAfterOneOpenedElsewhere) {
    auto w = start({"QARN3Pulse.owf"});
    Program& program = w->program();
    TfmWaveform& viewerWindow = *w->waveformWindow();
    std::filesystem::create_directory(file("elsewhere"));
    std::filesystem::copy_file(file("QARN3Long.owf"), file("elsewhere/Mine.owf"));
    dialogs.answer(file("elsewhere/Mine.owf"));
    program.mOpenClick();
    QTimer::singleShot(0, &viewerWindow, [&] {
        dialogs.answer(file("Saved.owf"));
        dialogs.answer("A-1");
        viewerWindow.SaveButton->click();
        viewerWindow.ExitButton->click();
    });
    program.mAnalyzeClick();
    ASSERT_TRUE(files.exists(file("Saved.owf")));
    EXPECT_FALSE(files.exists(file("elsewhere/Saved.owf")));
    dialogs.clear();
    dialogs.answer("<cancel>");
    program.mOpenClick(); // plays the file last named: the one just saved
    EXPECT_EQ(firstError(), "");
    EXPECT_EQ(program.wave.FileName, "Saved.owf");
    EXPECT_EQ(status(*w, 2), "Saved.owf");
}

// The limit fields only show the limits: keys, paste, cut, drops and the context menu reach
// the field itself and change nothing.
TEST_F(MainWindowTest, MaxOnAndMaxOffAreDisplayOnly) {
    auto w = start({"QARN3Pulse.owf"});
    QApplication::clipboard()->setText("99.9");
    for (QLineEdit* field : {w->ebMaxOn, w->ebMaxOff}) {
        const QString before = field->text();
        field->selectAll();
        const std::pair<int, Qt::KeyboardModifiers> keys[] = {
            {Qt::Key_V, Qt::ControlModifier},    {Qt::Key_Insert, Qt::ShiftModifier},
            {Qt::Key_X, Qt::ControlModifier},    {Qt::Key_Delete, Qt::NoModifier},
            {Qt::Key_Backspace, Qt::NoModifier}, {Qt::Key_Z, Qt::ControlModifier},
            {Qt::Key_5, Qt::NoModifier}};
        for (const auto& [k, mods] : keys) {
            QKeyEvent press(QEvent::KeyPress, k, mods, k == Qt::Key_5 ? "5" : "");
            QCoreApplication::sendEvent(field, &press);
        }
        QMimeData dropped;
        dropped.setText("12.5");
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(field, &drop);
        EXPECT_EQ(field->text(), before);
        const std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
        for (const QAction* a : menu->actions()) {
            const QString text = a->text().remove('&');
            for (const char* edit : {"Undo", "Redo", "Cut", "Paste", "Delete"})
                EXPECT_FALSE(text.startsWith(edit) && a->isEnabled()) << text.toStdString();
        }
    }
    EXPECT_DOUBLE_EQ(w->program().setup.MaxOnTime, 5.0);
    w->sbMaxOnUp->click();
    EXPECT_EQ(w->ebMaxOn->text(), " 6.0");
}

TEST_F(MainWindowTest, ReadOnlySetupFileSurvivesAnExitUntouchedWithTheErrorShown) {
    start({"QARN3Pulse.owf"})->program().ProgExit();
    const std::string setupFile = file("QARN3.osf");
    files.setReadOnly(setupFile, true);
    const std::string before = contents("QARN3.osf");
    dialogs.clear();
    auto w = start({"QARN3Pulse.owf"});
    w->program().ComboBoxRangeChange(6);
    w->sbMaxOnUp->click();
    w->program().ProgExit();
    EXPECT_EQ(contents("QARN3.osf"), before);
    EXPECT_TRUE(files.isReadOnly(setupFile));
    EXPECT_EQ(firstError(), "Error writing file: " + setupFile);
}

TEST_F(MainWindowTest, DebugDumpThatCannotBeReplacedIsReportedAtExit) {
    start({"QARN3Pulse.owf"})->program().ProgExit();
    const std::string dump = file("qarn3.dbg");
    files.setReadOnly(dump, true);
    const std::string before = contents("qarn3.dbg");
    dialogs.clear();
    start({"QARN3Pulse.owf"})->program().ProgExit();
    EXPECT_EQ(contents("qarn3.dbg"), before);
    EXPECT_EQ(firstError(), "Error writing file: " + dump);
}

// The separator comes from the locale through the program's rule: a German locale writes
// commas, an Arabic one (whose decimal point is no single byte) points.
TEST_F(MainWindowTest, LocaleDecimalPointReachesTheSetupFile) {
    const std::pair<QLocale, std::string> cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), "5,00"},
        {QLocale(QLocale::Arabic, QLocale::Egypt), "5.00"},
        {QLocale(QLocale::Persian, QLocale::Iran), "5.00"}};
    for (const auto& [locale, limit] : cases) {
        std::filesystem::remove(file("QARN3.osf"));
        const char sep = decimalSeparatorOf(locale.decimalPoint().toStdString());
        start({"QARN3Pulse.owf"}, sep)->program().ProgExit();
        const std::string text = contents("QARN3.osf");
        EXPECT_EQ(text.substr(text.find('\n') + 1, 6), limit + "\r\n") << limit;
        EXPECT_EQ(text.find('\0'), std::string::npos);
    }
}

TEST_F(MainWindowTest, ExitSavesRangeLimitsAndSourceForTheNextStart) {
    {
        auto w = start({"QARN3Pulse.owf"});
        w->program().ComboBoxRangeChange(6);
        w->sbMaxOnUp->click();
        w->sbMaxOffDown->click();
        w->program().ProgExit();
    }
    // The debug dump is written at exit, each line ended by CR LF.
    EXPECT_NE(contents("qarn3.dbg").find("ProgExit at: "), std::string::npos);
    dialogs.clear();
    auto w = start({"QARN3Pulse.owf"});
    EXPECT_EQ(w->program().setup.RangeIndex, 7);
    EXPECT_DOUBLE_EQ(w->program().setup.MaxOnTime, 6.0);
    EXPECT_DOUBLE_EQ(w->program().setup.MaxOffTime, 4.0);
    EXPECT_EQ(w->ebMaxOn->text(), " 6.0");
    EXPECT_FALSE(shownBox("File Missing"));
}

TEST_F(MainWindowTest, TraceShowsTheOnsetOfTheLastPulse) {
    auto w = start({"QARN3Pulse.owf"});
    w->BitBtnRunStopReset->click();
    ticks(*w, 3);
    ImageCanvas canvas;
    canvas.resize(482, 230);
    w->PaintBox1Paint(canvas);
    EXPECT_EQ(w->plot().marks().size(), 240u); // one a sample after the first
    const QImage& img = canvas.image();
    int yellow = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) == QColor(255, 255, 0)) ++yellow;
    EXPECT_GT(yellow, 200);
}

// Clicks the drawing surface at the pixel of time t.
void clickAt(TfmWaveform& window, double t, Qt::MouseButton button) {
    const QPointF p(window.viewer().plot().xPixel(t), 100);
    QMouseEvent press(QEvent::MouseButtonPress, p, window.PaintBox1->mapToGlobal(p), button, button,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(window.PaintBox1, &press);
    window.PaintBox1->redraw();
}

void typeInto(QLineEdit* edit, const std::string& text) {
    edit->setText(QString::fromStdString(text));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(edit, &press);
}

TEST_F(MainWindowTest, AnalyzeMeasuresTheCapturedPulseAndSavesAFileTheProgramOpensAgain) {
    auto w = start({"QARN3Pulse.owf"});
    Program& program = w->program();
    TfmWaveform& viewerWindow = *w->waveformWindow();
    program.cal.SerNum = "A-1017";
    w->BitBtnRunStopReset->click();
    ticks(*w, 60);
    ASSERT_EQ(status(*w, 1), "Test Timeout");
    ASSERT_EQ(w->ebPulseCurr->text(), "312.2 A");

    // The capture holds the last operation: from its first non-zero sample to the last before
    // a tenth of a second of zeros.
    const std::int16_t* s = program.wave.Samples.get();
    int first = 0;
    while (s[first] == 0)
        ++first;
    int last = first;
    for (int i = first; i < last + 240; ++i)
        if (s[i] != 0) last = i;
    const std::vector<std::int16_t> capture(s, s + kWaveFileSamples);

    bool visited = false;
    QTimer::singleShot(0, &viewerWindow, [&] {
        visited = true;
        EXPECT_EQ(program.wave.SerialId, "A-1017");
        EXPECT_EQ(viewerWindow.TStart->text(), "0.0000");
        EXPECT_EQ(viewerWindow.TEnd->text(), "1.0000");
        // Zoom to the pulse, then put the cursors on its first sample and just after its last.
        typeInto(viewerWindow.TStart, formatFixed((first - 20) / 2400.0, 0, 4));
        typeInto(viewerWindow.TEnd, formatFixed((last + 20) / 2400.0, 0, 4));
        viewerWindow.PaintBox1->redraw();
        clickAt(viewerWindow, first / 2400.0, Qt::LeftButton);
        clickAt(viewerWindow, (last + 1) / 2400.0, Qt::RightButton);
        EXPECT_EQ(viewerWindow.CurStart->text().toStdString(), formatFixed(first / 2400.0, 0, 4));
        EXPECT_EQ(viewerWindow.CurSpan->text().toStdString(),
                  formatFixed((last + 1 - first) / 2400.0, 0, 4));
        // The pulse's RMS, as the main window measured it.
        EXPECT_NEAR(viewerWindow.CurValue->text().toDouble(), 312.2, 1.0);

        dialogs.answer(file("breaker-7.owf"));
        dialogs.answer("A-1017");
        viewerWindow.SaveButton->click();
        viewerWindow.ExitButton->click();
    });
    w->btAnalyze->click();
    ASSERT_TRUE(visited);
    EXPECT_FALSE(viewerWindow.isVisible());
    EXPECT_EQ(program.wave.FileName, "breaker-7.owf");
    const std::string saved = contents("breaker-7.owf");
    ASSERT_EQ(saved.size(), 120059u);
    for (int i = 0; i < kWaveFileSamples; ++i) {
        std::int16_t v;
        std::memcpy(&v, saved.data() + 59 + 2 * i, 2);
        ASSERT_EQ(v, capture[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_NE(log.lines().back().find("End mAnalyzeClick "), std::string::npos);

    dialogs.answer(file("breaker-7.owf"));
    program.mOpenClick();
    EXPECT_EQ(status(*w, 2), "breaker-7.owf");
    w->BitBtnRunStopReset->click();
    ticks(*w, 60);
    EXPECT_EQ(status(*w, 1), "Test Timeout");
    EXPECT_EQ(w->ebPulseCurr->text(), "312.2 A");
}

// A recording from another instrument is played as the analyzer would have captured its
// current on the range chosen: the pulse's amperes stay the recording's on every range.
TEST_F(MainWindowTest, OpenPlaysACOMTRADERecordingInAmperesOnTheRangeChosen) {
    auto w = start({"QARN3Pulse.owf"});
    Program& program = w->program();
    w->BitBtnRunStopReset->click();
    ticks(*w, 60);
    ASSERT_EQ(status(*w, 1), "Test Timeout");
    const QString owfAmps = w->ebPulseCurr->text();

    // The demonstration file as a recording in amperes at the scale it was just measured with.
    std::string error;
    auto e = comtradeExportOfWaveFile(contents("QARN3Pulse.owf"), error);
    ASSERT_TRUE(e) << error;
    e->ampsPerCount = program.wave.AmpsPerCount;
    ASSERT_EQ(writeComtradeFiles(file("other"), *e, files), "");
    ASSERT_TRUE(files.replaceContents(file("broken.cfg"), "STATION,1,2013\r\n1,1A,0D\r\n", error));

    // One that cannot be read is refused and the waveform played so far stays.
    dialogs.answer(file("broken.cfg"));
    program.mOpenClick();
    EXPECT_NE(firstError().find("Cannot open " + file("broken.cfg")), std::string::npos)
        << firstError();
    EXPECT_EQ(program.wave.FileName, "QARN3Pulse.owf");

    dialogs.answer(file("other.cfg"));
    program.mOpenClick();
    EXPECT_EQ(status(*w, 2), "other.cfg");
    w->BitBtnRunStopReset->click();
    ticks(*w, 60);
    ASSERT_EQ(status(*w, 1), "Test Timeout");
    EXPECT_EQ(w->ebPulseCurr->text(), owfAmps);

    // A range of twice the full scale: half the counts played, the same current to its
    // resolution.
    const float before = program.wave.AmpsPerCount;
    w->program().ComboBoxRangeChange(program.setup.RangeIndex); // the next range up
    ASSERT_GT(program.wave.AmpsPerCount, before);
    w->BitBtnRunStopReset->click();
    ticks(*w, 60);
    ASSERT_EQ(status(*w, 1), "Test Timeout");
    EXPECT_NEAR(w->ebPulseCurr->text().split(' ', Qt::SkipEmptyParts)[0].toDouble(),
                owfAmps.split(' ', Qt::SkipEmptyParts)[0].toDouble(), 2.0);
}

} // namespace
