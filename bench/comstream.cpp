// comstream: the program's serial receive path under a continuous stream, measured. Opens a
// port (the analyzer simulator's pseudo-terminal), passes the link test, starts sampling and
// runs the measurement engine on the 200 ms tick for the given time, printing the process's
// CPU use and resident memory once a minute. Used by bench/comstream.sh.
#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "diag/debuglog.h"
#include "diag/qtwaits.h"
#include "engine/engine.h"
#include "engine/ranges.h"
#include "link/analyzerlink.h"
#include "link/comlink.h"
#include "platform/scripted_dialogs.h"
#include "platform/textformat.h"
#include "serial/serialasync.h"
#include "waveform/waveform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long rssKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::cerr << "Usage: comstream PORT SECONDS\n";
        return 2;
    }
    const std::string port = argv[1];
    const int seconds = qarn3::parseInteger(argv[2]);

    qarn3::DebugLog log;
    qarn3::ScriptedDialogs dialogs;
    qarn3::QtWaits waits;
    qarn3::TSerialPortAsync serial;
    qarn3::ComLink link(&serial, waits, log, dialogs);
    if (link.TestComm(port) != 0) {
        std::cerr << "comstream: no analyzer answers on " << port << "\n";
        return 1;
    }

    qarn3::TSetupRecord setup;
    qarn3::setSetupDefaults(setup);
    setup.SourceName = port;
    setup.SourceKind = qarn3::kSourceCom;
    setup.MaxOnTime = 0; // no time-outs: the test runs for the whole measurement
    setup.MaxOffTime = 0;
    qarn3::TCalRecord cal;
    qarn3::setCalDefaults(cal, 0);
    qarn3::TWaveformData wave;
    cal.AvgSamples = static_cast<std::int32_t>(std::lrint(wave.SampleRate * cal.AvgTime));
    wave.SamplePeriod = static_cast<float>(1.0 / wave.SampleRate);
    qarn3::ComAnalyzerLink comLink(link);
    qarn3::EngineDisplay display;
    qarn3::TQARN3Update engine(qarn3::EngineContext{setup, cal, wave, comLink, display, log});
    engine.useRanges(qarn3::buildRangeTables(setup.ShuntAmperes, setup.ShuntMillivolts).RangeFormat,
                     0);
    engine.SetRange();
    engine.ResetTest();
    engine.TestArm();

    // The debug lines are not kept for an hour: the debug window is not open.
    QElapsedTimer wall;
    wall.start();
    double lastCpu = cpuSeconds();
    qint64 lastWall = 0;
    const long startRss = rssKiB();
    std::printf("minute  cpu%%  rss_kib  samples_taken  errors\n");
    QTimer tick;
    tick.setInterval(200);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        engine.ProcessTick();
        const qint64 now = wall.elapsed();
        if (now - lastWall >= 60000 || now >= seconds * 1000LL) {
            const double cpu = cpuSeconds();
            std::printf("%6.1f  %4.2f  %7ld  %13lld  %6d\n", static_cast<double>(now) / 60000.0,
                        100.0 * (cpu - lastCpu) * 1000.0 / static_cast<double>(now - lastWall),
                        rssKiB(), static_cast<long long>(engine.readings().samplesTaken),
                        link.errors().ErrorCount);
            std::fflush(stdout);
            lastCpu = cpu;
            lastWall = now;
        }
        if (now >= seconds * 1000LL || !link.Sampling) QCoreApplication::quit();
    });
    link.StartComm();
    tick.start();
    QCoreApplication::exec();
    const double total = cpuSeconds();
    std::printf("total: %.1f s, cpu %.2f %% of one core, rss %ld -> %ld KiB, %lld samples "
                "(%.0f per second), %d errors\n",
                static_cast<double>(wall.elapsed()) / 1000.0,
                100.0 * total * 1000.0 / static_cast<double>(wall.elapsed()), startRss, rssKiB(),
                static_cast<long long>(engine.readings().samplesTaken),
                static_cast<double>(engine.readings().samplesTaken) * 1000.0 /
                    static_cast<double>(wall.elapsed()),
                link.errors().ErrorCount);
    return link.Sampling ? 0 : 1;
}
