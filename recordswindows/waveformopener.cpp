#include "recordswindows/waveformopener.h"

#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "records/sessionreport.h"
#include "recordswindows/recordshost.h"
#include "store/comtradeshot.h"
#include "waveform/waveform.h"
#include "waveform/waveformwindow.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qarn3 {

ViewerWaveformOpener::ViewerWaveformOpener(Services& services, std::string dataFolder,
                                           char decimalSeparator, std::function<int()> mainsHz,
                                           QWidget* parent)
    : m_services(services), m_dataFolder(std::move(dataFolder)), m_separator(decimalSeparator),
      m_mainsHz(std::move(mainsHz)), m_parent(parent), m_wave(std::make_unique<TWaveformData>()) {}

ViewerWaveformOpener::~ViewerWaveformOpener() {
    delete m_window.data(); // it shows the store that goes with this object
}

TfmWaveform* ViewerWaveformOpener::window() const {
    return m_window.data();
}

void ViewerWaveformOpener::openWaveform(const QByteArray& bytes, const ShotRow& row) {
    // A private folder (0700) of a name nobody can guess: the file is the program's reading
    // of the bytes, nothing else can replace it before it is read.
    QTemporaryDir folder(QDir::tempPath() + "/qarn3-waveform-XXXXXX");
    if (!folder.isValid()) {
        m_services.dialogs.messageDlg("Cannot open the waveform: no temporary folder (" +
                                          folder.errorString().toStdString() + ")",
                                      MsgKind::Error, {MsgButton::OK});
        return;
    }
    const std::string file = folder.filePath("shot.owf").toStdString();
    std::string error;
    if (!m_services.files.replaceContents(file, bytes.toStdString(), error)) {
        m_services.dialogs.messageDlg("Cannot open the waveform: " + error, MsgKind::Error,
                                      {MsgButton::OK});
        return;
    }
    if (!m_window) {
        m_window = new TfmWaveform(
            *m_wave, m_services, m_dataFolder, [] { return 0; }, m_parent);
        m_window->setModal(false);
        m_window->viewer().plot().setDecimalSeparator(m_separator);
        if (m_mainsHz) m_window->viewer().setMainsHz(m_mainsHz);
    }
    if (!WaveformFiles(*m_wave, m_services, m_dataFolder).LoadFile(file)) return;
    // The amperes the shot was measured in, whatever scale an imported file's header holds.
    if (const double a = row.shot.reading.ampsPerCount; a > 0) {
        m_wave->AmpsPerCount = static_cast<float>(a);
        m_wave->View.YTop = 2048 * m_wave->AmpsPerCount;
        m_wave->View.YBottom = -m_wave->View.YTop;
    }
    // Save as COMTRADE names the shot's site, breaker, pole and times.
    ComtradeExport origin;
    origin.sampleRate = m_wave->SampleRate;
    origin.counts.resize(static_cast<std::size_t>(std::max(m_wave->SampleCount - 1, 0)));
    const auto& serial = m_wave->Header.SerialId;
    origin.deviceId = trimText(std::string(serial.data(), strnlen(serial.data(), serial.size())));
    fillComtradeFromShot(origin, row, m_mainsHz ? m_mainsHz() : 60, machineOffsetMinutes);
    origin.counts.clear();
    m_window->viewer().setComtradeOrigin(origin);

    // The pulse, where the shot knows where it begins: the cycle table's span at first.
    const ShotReading& r = row.shot.reading;
    const double rate = m_wave->SampleRate;
    const bool pulseKnown = r.startSeconds.has_value();
    if (pulseKnown) {
        m_wave->PulseFirst = static_cast<std::int32_t>(std::lround(*r.startSeconds * rate));
        m_wave->PulseCount = static_cast<std::int32_t>(std::max(1L, std::lround(r.seconds * rate)));
    }
    m_window->setWindowTitle(shownText("Waveform View - " + row.site.name + " " +
                                       row.breaker.designation + " pole " +
                                       poleText(row.point.pole) + ", " + shotTimeText(r.takenAt)));
    if (m_window->isVisible())
        m_window->viewer().FormShow(); // as a new showing: the view of the new waveform
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    if (pulseKnown) {
        const double margin = std::max(r.seconds / 4, 2.0 / 60);
        m_window->viewer().SetStart(formatFixed(std::max(0.0, *r.startSeconds - margin), 0, 4));
        m_window->viewer().SetEnd(formatFixed(*r.startSeconds + r.seconds + margin, 0, 4));
    }
}

} // namespace qarn3
