// Start-up with a serial source: discovery, the port kept in the setup file, and the
// "Communication Status" window, over the fake serial port in virtual time.
#include "app/mainwindow.h"
#include "link/commwindow.h"
#include "platform/nodevice.h"
#include "platform/registry.h"
#include "platform/textformat.h"
#include "program_fixture.h"
#include "record_fixture.h"
#include "support/fake_transports.h"

#include "link_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <memory>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class SerialStartUpTest : public RecordTest {
protected:
    SerialStartUpTest() {
        waits.pump = [this] { serial.deliver(); };
        const std::string key = std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\RQM20090414";
        registry.setValue(key, "FriendlyName", "QARN-3 Analyzer (/dev/ttyACM0)");
        registry.setValue(key + "\\Device Parameters", "PortName", "/dev/ttyACM0");
    }

    // The setup file names the source; the program starts without a waveform argument.
    StartedProgram start(const std::string& source, bool paint = true) {
        put("QARN3.osf",
            "4\r\n5.00\r\n5.00\r\nQARN3.odf\r\n" + source + "\r\n4\r\n0\r\n  1000\r\n100.00\r\n");
        ProgramOptions o;
        o.folders = {folder, folder};
        o.programFileDate = "08/12/2026";
        ProgramAssembly::Platform platform(o, dialogs, waits, log, files, usbApi, &serial);
        platform.registry = &registry;
        StartedProgram w(platform);
        if (paint) w->program().FormPaint();
        return w;
    }
    std::string status(TfmQARN3& w, int i) {
        return w.StatusPanels[static_cast<std::size_t>(i)]->text().toStdString();
    }

    VirtualWaits waits;
    NoDeviceMpusb usbApi;
    FakeAnalyzer analyzer;
    FakeSerialPort serial{analyzer, waits};
    MemoryRegistry registry;
};

TEST_F(SerialStartUpTest, ADiscoveredPortIsKeptAndTestedDirectlyAtTheNextStart) {
    {
        auto w = start("COM");
        Program& p = w->program();
        EXPECT_EQ(p.setup.SourceName, "/dev/ttyACM0");
        EXPECT_EQ(p.setup.SourceKind, kSourceCom);
        EXPECT_TRUE(w.links().com().LinkValid);
        EXPECT_TRUE(w.links().com().Sampling);
        EXPECT_EQ(analyzer.resets, 1);
        EXPECT_EQ(status(*w, 2), "/dev/ttyACM0 on " + trimText(p.cal.SerNum));
        p.ProgExit();
    }
    EXPECT_NE(contents("QARN3.osf").find("/dev/ttyACM0\r\n"), std::string::npos);

    // Next start: the port from the file is tested as it is, without a search.
    serial.SetActive(false);
    registry = MemoryRegistry();
    const auto before = log.lines().size();
    auto w = start("/dev/ttyACM0");
    const auto t = texts(log);
    EXPECT_EQ(std::count(t.begin() + static_cast<long>(before), t.end(), "Getting CommPortName "),
              0);
    EXPECT_TRUE(w.links().com().LinkValid);
    EXPECT_EQ(serial.CommPort(), "/dev/ttyACM0");
    EXPECT_EQ(w->program().setup.SourceName, "/dev/ttyACM0");
}

// A named port that does not answer is searched past for this run only: the setup file
// keeps the name, so the analyzer is found there again once it answers.
TEST_F(SerialStartUpTest, ANamedPortThatDoesNotAnswerFallsBackToFindingTheAnalyzer) {
    analyzer.silent = true;
    dialogs.answer(MsgButton::Cancel);
    {
        auto w = start("/dev/ttyUSB7");
        EXPECT_TRUE(logged(log, "Hardware not found on port: COM"));
        EXPECT_EQ(w->program().setup.SourceName, "/dev/ttyUSB7");
        EXPECT_EQ(w->program().setup.SourceKind, kSourceNone); // Cancel: demonstration mode
        w->program().ProgExit();
    }
    EXPECT_NE(contents("QARN3.osf").find("\r\n/dev/ttyUSB7\r\n"), std::string::npos);
}

TEST_F(SerialStartUpTest, ARunFoundOnAnotherPortShowsItAndKeepsTheNamedOne) {
    serial.deadPort = "/dev/ttyUSB7";
    dialogs.answerList("Retry,OK,OK");
    {
        auto w = start("/dev/ttyUSB7");
        Program& p = w->program();
        ASSERT_TRUE(w.links().com().LinkValid);
        EXPECT_EQ(serial.CommPort(), "/dev/ttyACM0");
        EXPECT_EQ(status(*w, 2), "/dev/ttyACM0 on " + trimText(p.cal.SerNum));
        // The record the Setup dialog shows and every writer saves holds the operator's name.
        EXPECT_EQ(p.setup.SourceName, "/dev/ttyUSB7");
        p.ProgExit();
    }
    EXPECT_NE(contents("QARN3.osf").find("\r\n/dev/ttyUSB7\r\n"), std::string::npos);
}

TEST_F(SerialStartUpTest, HardwareStatusShowsTheCommunicationStatusWindow) {
    // The window is created before the first paint, as at start-up.
    auto w = start("COM", false);
    EXPECT_TRUE(logged(log, "End FormCreate Comm "));
    w->program().FormPaint();
    EXPECT_EQ(w.app().commWindow(), nullptr) << "made when first shown";
    w->program().mHardwareStatusClick();
    TfmComm& fmComm = *w.app().commWindow();
    EXPECT_TRUE(fmComm.isVisible());
    EXPECT_EQ(fmComm.ErrorMaskBox->text(), "FF");
    fmComm.ErrorMaskBox->setText("a0");
    EXPECT_EQ(fmComm.ErrorMaskBox->text(), "A0");
    EXPECT_EQ(w.links().com().ErrorMask, 160u);

    // The timer lists the error kinds while sampling.
    w.links().com().errors().RxErrorFlags = rxerr::FirstChar;
    w.links().com().errors().BadFirstChar = 0x55;
    w.links().com().CommTimerTick();
    ASSERT_GT(fmComm.ErrorListBox1->count(), 0);
    EXPECT_EQ(fmComm.ErrorListBox1->item(fmComm.ErrorListBox1->count() - 1)->text(),
              "Error Type = FirstChar [55]");
    EXPECT_EQ(fmComm.windowTitle(), "Communication Status");
}

TEST_F(SerialStartUpTest, TheErrorListKeepsTheNewestLines) {
    auto w = start("COM");
    CommStatusPanel& panel = w.app().commPanel();
    for (int i = 0; i < 3; ++i) // before the window is made
        panel.addErrorLine(std::to_string(i));
    TfmComm fmComm(panel);
    fmComm.show();
    for (int i = 3; i < CommStatusPanel::kMaxErrorLines + 5; ++i)
        panel.addErrorLine(std::to_string(i));
    ASSERT_EQ(fmComm.ErrorListBox1->count(), CommStatusPanel::kMaxErrorLines + 1);
    EXPECT_EQ(fmComm.ErrorListBox1->item(0)->text(), "… 5 older lines dropped");
    EXPECT_EQ(fmComm.ErrorListBox1->item(1)->text(), "5");
}

} // namespace
