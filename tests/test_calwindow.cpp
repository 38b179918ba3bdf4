#include "app/mainwindow.h"
#include "calsetup/caldate.h"
#include "calsetup/calwindow.h"
#include "calsetup/passdialog.h"
#include "calsetup/qtdates.h"
#include "help/qthelpviewer.h"
#include "link/comlink.h"
#include "link/usblink.h"
#include "link_fixture.h"
#include "platform/nodevice.h"
#include "platform/registry.h"
#include "program_fixture.h"
#include "record_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// Acts on the modal window of type T once it is up (the calibration window once its opening
// read has run). If none comes, fails and closes every modal window.
template <class T> void whenShown(QObject* owner, std::function<void(T&)> action) {
    auto* timer = new QTimer(owner);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, action] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        bool ready = w && w->isVisible();
        if constexpr (std::is_same_v<T, TfmCal>) ready = ready && w->opened();
        if (ready) {
            timer->stop();
            action(*w);
        } else if (++*tries > 5000) {
            timer->stop();
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " came up";
            while (auto* m = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                m->done(QDialog::Rejected);
        }
    });
    timer->start(1);
}

// A click as the user makes it: the press moves the focus as the widget's policy says.
void clickWithMouse(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton);
}

void leave(QWidget* field) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(field, &out);
}

TEST(ShortDates, TwoDigitYearsAreReadInTheCenturyNearestNow) {
    const QtShortDates us(QLocale("en_US"), 2026);
    const long day = dayNumberFromCivil(2009, 4, 14);
    EXPECT_EQ(us.format(day), "4/14/09");
    EXPECT_EQ(us.parse("4/14/09"), day);
    EXPECT_EQ(us.parse(" 4/14/2009 "), day);
    EXPECT_EQ(us.parse("1/2/46"), dayNumberFromCivil(2046, 1, 2));
    EXPECT_EQ(us.parse("1/2/47"), dayNumberFromCivil(1947, 1, 2));
    EXPECT_EQ(us.parse("13/1/09"), std::nullopt);
}

// Dates as operators type them: one-digit day and month, two- or four-digit years, and plain
// digits without the directional marks where the locale shows others.
TEST(ShortDates, DatesTypedAsOperatorsTypeThemAreRead) {
    const long first = dayNumberFromCivil(2026, 2, 1);
    const struct {
        const char* locale;
        const char* text;
        std::optional<long> day;
    } cases[] = {
        {"de_DE", "1.2.26", first},     {"de_DE", "1.2.2026", first},
        {"de_DE", "01.02.26", first},   {"de_DE", "31.2.26", std::nullopt},
        {"en_GB", "1/2/2026", first},   {"en_GB", "1/2/26", first},
        {"en_GB", "1/2", std::nullopt}, {"en_GB", "1/2/2026x", std::nullopt},
        {"en_US", "2/1/26", first},     {"ar_EG", "1/2/2026", first},
        {"ja_JP", "2026/2/1", first},   {"fr_FR", "1/2/26", first},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QtShortDates(QLocale(c.locale), 2026).parse(c.text), c.day)
            << c.locale << " " << c.text;
}

TEST(ShortDates, WhatIsShownReadsBackInEveryLocale) {
    for (const char* name : {"C", "en_US", "en_GB", "de_DE", "fr_FR", "ar_EG", "fa_IR", "ja_JP"}) {
        const QtShortDates dates{QLocale(name), 2026};
        for (long day : {33000L, 39917L, 45351L})
            EXPECT_EQ(dates.parse(dates.format(day)), day) << name << " " << dates.format(day);
    }
}

// A program without the analyzer link, for the window on its own.
struct Host : CalWindowHost {
    bool demo = true;
    std::function<bool()> receive = [] { return true; };
    std::array<std::string, 8> labels{"50.00 A",  "100.00 A", "250.00 A", "500.0 A",
                                      "1000.0 A", "2500.0 A", "5000 A",   "10000 A"};
    bool demoMode() const override { return demo; }
    bool GetCalData() override { return receive(); }
    std::array<std::string, 8> rangeLabels() const override { return labels; }
    std::function<void(const std::string&)> send = [](const std::string&) {};
    void sendCalImage(const std::string& image) override { send(image); }
};

class CalWindowTest : public RecordTest {
protected:
    CalWindowTest() {
        setCalDefaults(cal, 39917);
        put("QARN3.ocf", buildCalImage(cal));
        files.setReadOnly(file("QARN3.ocf"), true);
    }
    void open() {
        window.show();
        QCoreApplication::processEvents();
        ASSERT_TRUE(window.opened());
        dialogs.clear();
    }
    TCalRecord cal;
    double sampleRate = 2400;
    CalFile calFile{cal, sampleRate, services, folder};
    Host host;
    QtShortDates dates{QLocale("en_GB"), 2026};
    TfmCal window{cal, calFile, host, dates, services};
};

TEST_F(CalWindowTest, OpensOnTheFileWithTheProgramsRangeLabels) {
    host.labels[3] = "5.000 A";
    open();
    EXPECT_EQ(window.rangeLabels[3]->text(), "5.000 A");
    EXPECT_EQ(window.CalFactor8->text(), "0.001225");
    EXPECT_EQ(window.CalSerNum->text(), "**DEFAULT*");
    EXPECT_EQ(window.CalDate->text(), "14/04/2009");
    EXPECT_TRUE(logged(log, "fmCal.OnShow "));
    EXPECT_TRUE(logged(log, "fmCal.OnActivate "));
}

TEST_F(CalWindowTest, ControlsAreDisabledAndTheCloseBoxRefusedWhileReading) {
    host.demo = false;
    bool enabledDuringRead = true;
    host.receive = [&] {
        enabledDuringRead = window.isEnabled();
        window.close();
        return true;
    };
    open();
    EXPECT_FALSE(enabledDuringRead);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isEnabled());
}

TEST_F(CalWindowTest, AdjustArrowsLeaveTheFocusInTheSelectedFactor) {
    open();
    window.CalFactor3->setFocus();
    clickWithMouse(window.rbSelected);
    ASSERT_TRUE(window.rbSelected->isChecked());
    clickWithMouse(window.SpinBtnAdjustUp);
    EXPECT_EQ(window.focusWidget(), window.CalFactor3);
    EXPECT_EQ(window.CalFactor3->text(), "0.001226");
    EXPECT_EQ(window.CalFactor2->text(), "0.001225");
    window.CalSerNum->setFocus();
    clickWithMouse(window.SpinBtnAdjustUp);
    EXPECT_FLOAT_EQ(cal.Factor[2], 0.001226f);
    window.rbAll->click();
    window.SpinBtnAdjustDown->click();
    EXPECT_EQ(window.CalFactor1->text(), "0.001224");
}

// Sending the image waits between its packets, and those waits handle input: what the operator
// clicks meanwhile must neither send a second image into the first nor change the record
// that was just read back from the file.
TEST_F(CalWindowTest, SaveTakesNoInputWhileTheImageIsSent) {
    open();
    std::vector<std::string> sent;
    bool enabledWhileSending = true;
    host.send = [&](const std::string& image) {
        sent.push_back(image);
        enabledWhileSending = window.isEnabled();
        if (sent.size() > 1) return;
        window.SaveButton->click();
        window.SpinBtnAdjustUp->click();
    };
    window.CalFactor2->setText("0.001300");
    clickWithMouse(window.SaveButton);
    EXPECT_FALSE(enabledWhileSending);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], contents("QARN3.ocf"));
    EXPECT_FLOAT_EQ(cal.Factor[1], 0.0013f);
    EXPECT_FLOAT_EQ(cal.Factor[0], 0.001225f);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.isEnabled());
}

TEST_F(CalWindowTest, OnThresholdOf150BecomesTheLimitOnLeaving) {
    open();
    window.CalOnThresh->setText("150");
    EXPECT_EQ(cal.OnThresh, 99);
    leave(window.CalOnThresh);
    EXPECT_EQ(window.CalOnThresh->text(), "99");
    EXPECT_EQ(cal.OnThresh, 99);
    window.numberUp[1]->click();
    EXPECT_EQ(window.CalMPUThresh->text(), "110");
    EXPECT_EQ(cal.MPUThresh, 110);
}

// The averaging time is typed into a drop-down list: the list, not its text field, has the
// focus, and moving the focus on takes what was typed.
TEST_F(CalWindowTest, LeavingTheAverageTimeShowsItWithThreeDecimalsOrRefusesIt) {
    open();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto typeAndLeave = [&](const char* text) {
        window.CalAvgTime->setFocus(Qt::MouseFocusReason);
        window.CalAvgTime->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), text);
        window.CalSerNum->setFocus(Qt::MouseFocusReason);
    };
    typeAndLeave("0.3");
    EXPECT_EQ(window.CalAvgTime->currentText(), "0.300");
    EXPECT_DOUBLE_EQ(cal.AvgTime, 0.3);
    EXPECT_TRUE(dialogs.shown().empty());
    typeAndLeave("xyz");
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "'xyz' is not a valid floating point value");
    EXPECT_EQ(window.CalAvgTime->currentText(), "0.300");
    EXPECT_DOUBLE_EQ(cal.AvgTime, 0.3);
}

TEST_F(CalWindowTest, PasswordIsAskedUntilRightOrCancelled) {
    TfmPass pass(dialogs);
    QObject owner;
    whenShown<TfmPass>(&owner, [&](TfmPass& p) {
        EXPECT_EQ(p.windowTitle(), "Password Dialog");
        EXPECT_EQ(p.lbCalDate->text(), "Calibration Date: 14/04/2009");
        EXPECT_EQ(p.focusWidget(), p.ebPassword);
        p.btOK->click(); // empty
        p.ebPassword->setText("6918");
        p.btOK->click();
        EXPECT_EQ(p.ebPassword->text(), "6918");
        EXPECT_EQ(p.focusWidget(), p.ebPassword);
        EXPECT_TRUE(p.isVisible());
        p.ebPassword->setText("6917");
        p.btOK->click();
    });
    EXPECT_TRUE(pass.execute("14/04/2009"));
    ASSERT_EQ(dialogs.shown().size(), 2u);
    for (const auto& box : dialogs.shown()) {
        EXPECT_EQ(box.text, "Password incorrect.  Please try again.");
        EXPECT_EQ(box.caption, "Information");
        EXPECT_EQ(box.buttons, std::vector<MsgButton>{MsgButton::OK});
    }
    whenShown<TfmPass>(&owner, [](TfmPass& p) { p.btCancel->click(); });
    EXPECT_FALSE(pass.execute("14/04/2009"));
}

// The whole program with the calibration window, as main() builds it.
class CalibrateTest : public RecordTest {
protected:
    CalibrateTest() {
        // The analyzer's serial port, for a serial source to find.
        const std::string key = std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\RQM20090414";
        registry.setValue(key, "FriendlyName", "QARN-3 Analyzer (/dev/ttyACM0)");
        registry.setValue(key + "\\Device Parameters", "PortName", "/dev/ttyACM0");
    }
    TfmQARN3& start(std::vector<std::string> args, MpusbApi& usbApi, SerialPort* port) {
        ProgramOptions o;
        o.folders = {folder, folder};
        o.args = std::move(args);
        ProgramAssembly::Platform platform(o, dialogs, waits, log, files, usbApi, port);
        platform.registry = &registry;
        program = StartedProgram(platform);
        current = &*program;
        program->program().FormPaint();
        return *program;
    }
    // Calibrate with the access code; the action runs in the calibration window.
    void calibrate(Program& p, std::function<void(TfmCal&)> action) {
        whenShown<TfmPass>(&owner, [](TfmPass& d) {
            d.ebPassword->setText("6917");
            d.btOK->click();
        });
        whenShown<TfmCal>(&owner, std::move(action));
        p.mCalibrateClick();
    }
    bool shownText(const std::string& text) const {
        for (const auto& r : dialogs.shown())
            if (r.text == text) return true;
        return false;
    }
    void setupSource(const std::string& source) {
        put("QARN3.osf",
            "4\r\n5.00\r\n5.00\r\nQARN3.odf\r\n" + source + "\r\n4\r\n0\r\n  1000\r\n100.00\r\n");
    }

    QObject owner;
    TfmQARN3* current = nullptr;
    VirtualWaits waits;
    QtShortDates dates;
    NoDeviceMpusb noUsb;
    MemoryRegistry registry;
    FakeAnalyzer analyzer;
    FakeMpusb usb{analyzer, waits};
    FakeSerialPort serial{analyzer, waits};
    StartedProgram program;
};

TEST_F(CalibrateTest, CancelledPasswordLeavesTheWindowClosedAndReappliesTheRange) {
    auto& w = start({"QARN3Pulse.owf"}, noUsb, nullptr);
    w.program().setup.RangeIndex = 6;
    whenShown<TfmPass>(&owner, [](TfmPass& d) { d.btCancel->click(); });
    w.program().mCalibrateClick();
    EXPECT_FALSE(logged(log, "fmCal.OnShow "));
    EXPECT_EQ(w.ComboBoxRange->currentIndex(), 5);
    EXPECT_EQ(texts(log).back(), "End CalibrateClick ");
}

TEST_F(CalibrateTest, ChangesAreInForceAfterClosingWithoutSave) {
    auto& w = start({"QARN3Pulse.owf"}, noUsb, nullptr);
    const std::string old = contents("QARN3.ocf");
    calibrate(w.program(), [](TfmCal& c) {
        c.SpinBtnAdjustUp->click();
        c.SpinBtnAdjustUp->click();
        c.btToday->click();
        c.close();
    });
    EXPECT_TRUE(logged(log, "fmCal.OnClose "));
    EXPECT_EQ(helpContextOf(program->calibrationWindow()->CalFactor1), kCalibrationHelpContext);
    EXPECT_EQ(w.program().cal.CalDate, static_cast<double>(todayDayNumber()));
    EXPECT_FLOAT_EQ(w.program().cal.Factor[3], 0.001227f);
    EXPECT_FLOAT_EQ(w.program().wave.AmpsPerCount, 500 * 0.001227f);
    EXPECT_EQ(contents("QARN3.ocf"), old);
}

TEST_F(CalibrateTest, DemonstrationSaveWritesAndRereadsTheFileAndSendsNothing) {
    // A demonstration started from a file while the analyzer is plugged in.
    setupSource("USB");
    auto& w = start({"QARN3Pulse.owf"}, usb, nullptr);
    ASSERT_TRUE(w.program().demoMode());
    dialogs.clear();
    calibrate(w.program(), [](TfmCal& c) {
        c.CalFactor4->setText("0.002500");
        c.SaveButton->click();
    });
    EXPECT_EQ(contents("QARN3.ocf").substr(30, 10), "0.002500\r\n");
    EXPECT_EQ(w.program().cal.CalImage, contents("QARN3.ocf"));
    EXPECT_TRUE(shownText("Writing to Cal File QARN3.ocf"));
    EXPECT_FALSE(shownText("Writing to PIC Memory"));
    EXPECT_TRUE(analyzer.writtenImage.empty());
    EXPECT_FALSE(program->calibrationWindow()->isVisible());
    EXPECT_FLOAT_EQ(w.program().wave.AmpsPerCount, 500 * 0.0025f);
}

// A pulse of 1000 counts RMS for half a second, after a quarter of a second of silence.
std::function<int(std::int64_t)> squarePulse() {
    return [](std::int64_t n) { return n >= 600 && n < 1800 ? (n % 2 ? 1000 : -1000) : 0; };
}

class LiveCalibrate : public CalibrateTest {
protected:
    // The program started live over the simulated USB analyzer, its reader polled in the waits.
    TfmQARN3& startOverUsb() {
        setupSource("USB");
        waits.pump = [&] {
            if (program)
                while (program.links().usb().readerPoll()) {
                }
        };
        return start({}, usb, nullptr);
    }
    // Calibrate with every factor one step up and SAVE; then a test on range 4.
    void calibrateAndTest(TfmQARN3& w) {
        calibrate(w.program(), [](TfmCal& c) {
            c.SpinBtnAdjustUp->click();
            c.SaveButton->click();
        });
        analyzer.sample = squarePulse();
        for (int i = 0; i < 10; ++i) {
            waits.run(200);
            w.program().UpdateTimerTick();
        }
    }
    void expectSameImageEverywhere(TfmQARN3& w) {
        const std::string file = contents("QARN3.ocf");
        EXPECT_EQ(file.substr(0, 10), "0.001226\r\n");
        EXPECT_EQ(analyzer.writtenImage, file);
        EXPECT_EQ(w.program().cal.CalImage, file);
        EXPECT_TRUE(shownText("Writing to PIC Memory"));
        // The next test reads with the new factor: about 1000 counts × 500 A × 0.001226 (the
        // old factor would read 612.2 A).
        EXPECT_FLOAT_EQ(w.program().wave.AmpsPerCount, 500 * 0.001226f);
        EXPECT_NEAR(w.program().readings().pulseAmps, 613.0, 0.4);
    }
};

TEST_F(LiveCalibrate, UsbAnalyzerAndFileHoldTheSameImage) {
    auto& w = startOverUsb();
    ASSERT_FALSE(w.program().demoMode());
    ASSERT_EQ(w.program().setup.SourceKind, kSourceUsb);
    calibrateAndTest(w);
    expectSameImageEverywhere(w);
}

// The cable pulled while the window is open: the file takes the calibration and the operator
// learns that the analyzer did not.
TEST_F(LiveCalibrate, SaveWithTheAnalyzerGoneSaysTheFileAloneHoldsIt) {
    auto& w = startOverUsb();
    ASSERT_FALSE(w.program().demoMode());
    usb.present = false;
    dialogs.clear();
    dialogs.answerList("Cancel,OK"); // no defaults at opening; write the file
    calibrate(w.program(), [](TfmCal& c) {
        c.CalFactor4->setText("0.002500");
        c.SaveButton->click();
    });
    EXPECT_EQ(contents("QARN3.ocf").substr(30, 10), "0.002500\r\n");
    EXPECT_TRUE(analyzer.writtenImage.empty());
    ASSERT_FALSE(dialogs.shown().empty());
    EXPECT_EQ(dialogs.shown().back().text,
              "Analyzer not connected: the calibration was saved to QARN3.ocf only.");
}

TEST_F(LiveCalibrate, SerialAnalyzerAndFileHoldTheSameImage) {
    setupSource("COM");
    waits.pump = [&] { serial.deliver(); };
    auto& w = start({}, noUsb, &serial);
    ASSERT_FALSE(w.program().demoMode());
    ASSERT_EQ(w.program().setup.SourceKind, kSourceCom);
    calibrateAndTest(w);
    expectSameImageEverywhere(w);
}

} // namespace
