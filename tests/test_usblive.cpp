// The program against the simulated USB analyzer, end to end and in real time: start-up finds
// and resets it and reads its calibration, a waveform's pulse is measured as demonstration
// mode measures it, a pulled cable ends the test, RESET checks the hardware again. And the
// "USB Test" window.
#include "app/mainwindow.h"
#include "app/usbchoice.h"
#include "diag/qtwaits.h"
#include "engine/analysis.h"
#include "link/usbreader.h"
#include "link/usbsim.h"
#include "link/usbwindow.h"
#include "link_fixture.h"
#include "platform/registry.h"
#include "platform/textformat.h"
#include "program_fixture.h"
#include "record_fixture.h"
#include "support/fake_transports.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// Handles window messages until done() holds; false if it never did within the limit.
bool until(const std::function<bool()>& done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

int count(const DebugLog& log, const std::string& text, std::size_t from = 0) {
    const auto t = texts(log);
    return static_cast<int>(std::count(t.begin() + static_cast<long>(from), t.end(), text));
}

class LiveUsbTest : public RecordTest {
protected:
    LiveUsbTest() {
        // Range 5, MaxOn 2 s, MaxOff 1 s, source USB, pulse test, 1000 A / 100 mV.
        put("QARN3.osf", "5\r\n2.00\r\n1.00\r\nQARN3.odf\r\nUSB\r\n2\r\n0\r\n  1000\r\n100.00\r\n");
        writePulseWaveform("Live.owf");
        registry.setValue(std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\KXV0123456", "Class",
                          "USB");
        registry.setValue(std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\KXV0123456", "Service",
                          "usbfs");
    }

    // 0.25 s without current, a 0.3 s pulse of 60 Hz, then 0.45 s without: counts in steps of
    // 4, as the wire carries them.
    void writePulseWaveform(const std::string& name) {
        TWaveformData wave;
        wave.SampleCount = 2400;
        for (int i = 0; i < wave.SampleCount; ++i) {
            double v = 0;
            if (i >= 600 && i < 1320) v = 600.0 * std::sin(2 * M_PI * 60.0 * (i - 600) / 2400.0);
            wave.Samples[static_cast<std::size_t>(i)] =
                static_cast<std::int16_t>(4 * static_cast<int>(std::floor(v / 4)));
        }
        WaveformFiles writer(wave, services, folder);
        ASSERT_TRUE(writer.WriteWaveform(name, 0));
    }

    TfmQARN3& start() {
        ProgramOptions o;
        o.folders = {folder, folder};
        o.programFileDate = "08/12/2026";
        ProgramAssembly::Platform platform(o, dialogs, waits, log, files, sim, nullptr);
        platform.registry = &registry;
        window = StartedProgram(platform);
        EXPECT_TRUE(loadSimulatedWaveform(sim, "Live.owf", services, folder));
        return *window;
    }
    std::string status(TfmQARN3& w, int i) {
        return w.StatusPanels[static_cast<std::size_t>(i)]->text().toStdString();
    }
    int resets() {
        int n = 0;
        sim.withAnalyzer([&](AnalyzerSimulator& a) { n = a.resets; });
        return n;
    }

    SimulatedMpusb sim;
    QtWaits waits;
    MemoryRegistry registry;
    StartedProgram window;
};

TEST_F(LiveUsbTest, MeasuresAPulseAsDemonstrationModeDoesAndCatchesAPulledCable) {
    AnalysisOptions demo;
    demo.waveFile = file("Live.owf");
    demo.setupFile = file("QARN3.osf");
    const AnalysisResult expected = analyzeWaveform(demo);
    ASSERT_TRUE(expected.ok) << expected.error;
    ASSERT_EQ(expected.pulses.size(), 1u);

    TfmQARN3* w = &start();
    dialogs.clear(); // the waveform files' boxes
    w->show();       // the first paint starts up: the hardware check, in real time
    ASSERT_TRUE(until([&] { return w->program().InitDone; }, 30));
    EXPECT_EQ(resets(), 1);
    if (status(*w, 1) != "Armed - Initiate test current") {
        for (const auto& l : log.lines())
            std::cerr << l << "\n";
        for (const auto& d : dialogs.shown())
            std::cerr << "box: " << d.caption << ": " << d.text << "\n";
    }
    EXPECT_TRUE(logged(log, "End delay Reset PIC "));
    EXPECT_FALSE(w->program().cal.CalError);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(status(*w, 1), "Armed - Initiate test current");
    EXPECT_EQ(w->BitBtnRunStopReset->text(), "READY");
    EXPECT_EQ(status(*w, 2), trimText(w->program().cal.SerNum) + " on USB port");
    EXPECT_EQ(window.app().usbPanel().deviceText(), "vid_04d8&pid_fdcf\\KXV0123456 USB");

    // The pulse arrives over the wire and the test times out 1 s after it.
    ASSERT_TRUE(until([&] { return status(*w, 1) == "Test Timeout"; }))
        << status(*w, 1) << " / " << status(*w, 2);
    EXPECT_EQ(w->ebPulseCurr->text().toStdString(), expected.pulses.back().current);
    EXPECT_EQ(w->ebPulseSec->text().toStdString(), expected.pulses.back().seconds);
    EXPECT_EQ(w->ebPulseCyc->text().toStdString(), expected.pulses.back().cycles);
    EXPECT_EQ(window.links().usb().errors().ErrorCount, 0);

    EXPECT_EQ(window.app().usbWindow(), nullptr) << "made when first shown";
    w->program().mHardwareStatusClick();
    TfmUSB* fmUSB = window.app().usbWindow();
    ASSERT_NE(fmUSB, nullptr);
    EXPECT_TRUE(fmUSB->isVisible());
    EXPECT_EQ(fmUSB->ComboBox1->currentText(), "vid_04d8&pid_fdcf\\KXV0123456 USB");
    EXPECT_TRUE(fmUSB->Memo1->toPlainText().contains("Thread Running"));
    EXPECT_TRUE(until([&] { return fmUSB->Edit2->text().endsWith(" sec"); }));

    // Armed again, with the error count of the next test from zero; then the cable is
    // pulled: four ticks without data end it.
    window.links().usb().errors().ErrorCount = 7;
    w->BitBtnRunStopReset->click();
    EXPECT_EQ(status(*w, 1), "Armed - Initiate test current");
    EXPECT_EQ(window.links().usb().errors().ErrorCount, 0);
    EXPECT_EQ(resets(), 1); // the link was still good: no new hardware check
    const std::size_t mark = texts(log).size();
    sim.setCablePulled(true);
    ASSERT_TRUE(until([&] { return status(*w, 2) == "Error on USB port"; }));
    EXPECT_EQ(count(log, "RxDataCount <= 0 ", mark), 4);
    EXPECT_EQ(w->BitBtnRunStopReset->text(), "RESET");
    EXPECT_FALSE(window.links().usb().LinkValid);

    // Plugged in again, RESET runs the hardware check once more.
    sim.setCablePulled(false);
    w->BitBtnRunStopReset->click();
    EXPECT_EQ(resets(), 2);
    EXPECT_EQ(count(log, "USB TestComm ", mark), 1);
    EXPECT_EQ(status(*w, 1), "Armed - Initiate test current");
    EXPECT_EQ(status(*w, 2), trimText(w->program().cal.SerNum) + " on USB port");

    w->program().ProgExit();
    EXPECT_EQ(window.links().reader()->threadsAlive(), 0);
}

TEST(UsbTestWindow, ShowsTheLinkAsItsTimerTicks) {
    FakeAnalyzer analyzer;
    VirtualWaits clock;
    FakeMpusb api{analyzer, clock};
    DebugLog log;
    ScriptedDialogs dialogs;
    UsbLink link{api, clock, log, dialogs};
    auto panel = std::make_unique<UsbTestPanel>(link, ',');
    EXPECT_FALSE(panel->USBTimer->isActive());
    EXPECT_EQ(panel->USBTimer->interval(), 200);

    ASSERT_TRUE(link.OpenUSB());
    link.USBStartSampling(); // the link reports into the panel, window or not
    EXPECT_TRUE(panel->USBTimer->isActive());
    link.ReceivedChars = 48000;
    link.errors().RxErrorFlags = 4;
    panel->USBTimerTick();
    auto window = std::make_unique<TfmUSB>(*panel);
    EXPECT_EQ(window->windowTitle(), "USB Test");
    EXPECT_EQ(window->size(), QSize(318, 424));
    EXPECT_EQ(window->ComboBox1->currentText(), "vid_04d8&pid_fdcf");
    EXPECT_EQ(window->ComboBox1->count(), 2);
    EXPECT_EQ(window->Edit2->text(), " 10,0000 sec"); // the tick before it was made
    link.ReceivedChars = 96000;
    panel->USBTimerTick();
    EXPECT_EQ(window->Edit2->text(), " 20,0000 sec");
    window->show(); // the status list is filled in when the window is shown
    EXPECT_TRUE(window->Memo1->toPlainText().endsWith("Error at 10,000000 seconds\n"
                                                      "Error Type = CharMatch"));
    link.USBStopSampling();
    EXPECT_FALSE(panel->USBTimer->isActive());

    window.reset();
    panel.reset();
    link.OpenUSB(); // reports into nothing once the panel is gone
}

} // namespace
