// Takes a screenshot of the main window during a demonstration test: starts the program's
// windows on the pulse waveform, presses RUN, lets the test run for the given seconds in real
// time and saves the window as a PNG. With "viewer" after the data folder it then opens the
// waveform viewer (Analyze), zooms to the last captured pulse, puts the cursors on its edges
// and saves the viewer instead; with "cycles" it zooms to the pulse and shows the cycle table
// of it (the cursors left where the viewer puts them). Run under Xvfb by
// scripts/screenshot.sh.
#include "app/assembly.h"
#include "app/mainwindow.h"
#include "app/recordswiring.h"
#include "diag/debuglog.h"
#include "diag/qtwaits.h"
#include "platform/files.h"
#include "platform/nodevice.h"
#include "platform/scripted_dialogs.h"
#include "platform/textformat.h"
#include "recordswindows/testrecordpanel.h"
#include "waveform/plotwidget.h"
#include "waveform/waveformwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <iostream>
#include <utility>

namespace {

void click(qarn3::TfmWaveform& viewer, double t, Qt::MouseButton button) {
    const QPointF p(viewer.viewer().plot().xPixel(t), 60);
    QMouseEvent press(QEvent::MouseButtonPress, p, viewer.PaintBox1->mapToGlobal(p), button, button,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(viewer.PaintBox1, &press);
    viewer.PaintBox1->redraw();
}

// Zooms to the last pulse of the capture and puts the cursors on its first sample and just
// after its last, or shows the cycle table instead.
void showPulse(qarn3::TfmWaveform& viewer, const qarn3::TWaveformData& wave, bool cycles) {
    const std::int16_t* s = wave.Samples.get();
    int first = 0;
    while (first < qarn3::kWaveFileSamples && s[first] == 0)
        ++first;
    int last = first;
    for (int i = first; i < last + 240 && i < qarn3::kWaveFileSamples; ++i)
        if (s[i] != 0) last = i;
    const double rate = wave.SampleRate;
    viewer.viewer().SetStart(qarn3::formatFixed((first - 24) / rate, 0, 4));
    viewer.viewer().SetEnd(qarn3::formatFixed((last + 24) / rate, 0, 4));
    viewer.PaintBox1->redraw();
    if (cycles) {
        viewer.CyclesButton->click();
        return;
    }
    click(viewer, first / rate, Qt::LeftButton);
    click(viewer, (last + 1) / rate, Qt::RightButton);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::cerr
            << "usage: qarn3-screenshot OUT.png SECONDS [DATAFOLDER [viewer|cycles|records]]\n";
        return 2;
    }
    const QString out = argv[1];
    const double seconds = std::atof(argv[2]);
    qarn3::ProgramOptions o;
    const std::string data = argc > 3 ? argv[3] : "/tmp/qarn3-screenshot";
    qarn3::makeFolders(data);
    o.folders = {data, data};
    o.args = {"QARN3Pulse.owf"};
    o.programFileDate = "08/12/2026";
    qarn3::DebugLog log;
    qarn3::FileStore files;
    qarn3::ScriptedDialogs dialogs(&std::cerr);
    qarn3::QtWaits waits;
    qarn3::NoDeviceMpusb usb;
    qarn3::ProgramAssembly assembly(
        qarn3::ProgramAssembly::Platform(o, dialogs, waits, log, files, usb, nullptr));
    qarn3::TfmQARN3& window = assembly.window();
    qarn3::Program& program = window.program();
    qarn3::TfmWaveform& viewer = *window.waveformWindow();
    const std::string mode = argc > 4 ? argv[4] : "main";
    const bool showViewer = mode == "viewer" || mode == "cycles";
    window.show();
    if (mode == "records") {
        // The test record panel beside the readings, recording pole A of a 100 A breaker, its
        // fields clicked into and typed as a technician fills them in.
        assembly.records().testRecordAction()->trigger();
        qarn3::TestRecordPanel& panel = assembly.records().panel();
        QApplication::processEvents();
        const std::pair<QWidget*, const char*> typed[] = {
            {panel.cbSite->lineEdit(), "North Plant"},
            {panel.cbBreaker->lineEdit(), "Q7 incomer"},
            {panel.ebMaker, "Hawke"},
            {panel.ebRating, "100"},
            {panel.ebOperator, "J. Smith"},
            {panel.ebMultiple, "3"},
            {panel.ebBandMin, "0.1"},
            {panel.ebBandMax, "0.2"}};
        for (const auto& [field, text] : typed) {
            if (field == panel.ebBandMin) QTest::mouseClick(panel.rbBandTyped, Qt::LeftButton);
            QTest::mouseClick(field, Qt::LeftButton);
            QTest::keyClicks(field, text);
        }
        QTest::mouseClick(panel.btStart, Qt::LeftButton);
        if (!panel.isRecording()) {
            std::cerr << "the panel did not start recording: "
                      << panel.lbMessage->text().toStdString() << "\n";
            return 1;
        }
    }
    int status = 1;
    const auto save = [&](QWidget& w) {
        const bool ok = w.grab().save(out);
        std::cerr << (ok ? "saved " : "could not save ") << out.toStdString() << "\n";
        status = ok ? 0 : 1;
    };
    QTimer::singleShot(500, [&] { window.BitBtnRunStopReset->click(); });
    QTimer::singleShot(500 + static_cast<int>(seconds * 1000), [&] {
        if (!showViewer) {
            save(window);
            QApplication::exit(status);
            return;
        }
        QTimer::singleShot(300, &viewer,
                           [&] { showPulse(viewer, program.wave, mode == "cycles"); });
        QTimer::singleShot(800, &viewer, [&] {
            save(viewer);
            viewer.ExitButton->click();
        });
        if (window.btAnalyze->isEnabled())
            window.btAnalyze->click();
        else
            program.mAnalyzeClick(); // View/Analyze: the test has not ended yet
        QApplication::exit(status);
    });
    return QApplication::exec();
}
