// The viewer's Save as COMTRADE: the span between the cursors or the whole waveform.
#include "waveform/viewer.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "waveform/comtradestore.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>

namespace qarn3 {

namespace {

constexpr const char* kComtradeSaveFilter = "COMTRADE Files|*.cfg";

std::int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// When the file was last written, else now.
std::int64_t fileTimeUs(const std::string& path) {
    if (path.empty()) return nowUs();
    return modifiedMicros(path).value_or(nowUs());
}

} // namespace

void WaveViewer::setComtradeOrigin(const ComtradeExport& origin) {
    m_origin = origin;
    m_originRevision = m_wave.Revision;
}

ComtradeExport WaveViewer::comtradeCapture(bool cursorSpan) const {
    ComtradeExport origin;
    if (m_origin && m_originRevision == m_wave.Revision) {
        origin = *m_origin;
    } else {
        origin.deviceId = m_wave.SerialId;
        origin.lineHz = mainsHz();
        origin.firstSampleUs =
            fileTimeUs(m_wave.FileName.empty() ? std::string()
                                               : resolveInFolder(m_dataFolder, m_wave.FileName));
        origin.triggerUs = origin.firstSampleUs;
        if (m_wave.PulseCount > 0) {
            origin.withOn = true;
            origin.onSpans = {{static_cast<std::size_t>(m_wave.PulseFirst),
                               static_cast<std::size_t>(m_wave.PulseCount)}};
            origin.triggerUs += std::llround(m_wave.PulseFirst * 1e6 / m_wave.SampleRate);
        }
    }
    if (!cursorSpan) return comtradeOfStore(m_wave, origin);
    long first = 0, count = 0;
    cursorSamples(m_wave.View.CursorStart, m_wave.View.CursorEnd, first, count);
    return comtradeOfStore(m_wave, origin, static_cast<std::size_t>(first),
                           static_cast<std::size_t>(count));
}

void WaveViewer::SaveComtradeClick() {
    const MsgButton which = m_services.dialogs.messageDlg(
        "Save the span between the cursors (Yes) or the whole waveform (No) as COMTRADE?",
        MsgKind::Confirmation, {MsgButton::Yes, MsgButton::No, MsgButton::Cancel});
    if (which != MsgButton::Yes && which != MsgButton::No) return;
    // A span without a sample (both cursors on the last one) makes no recording a reader takes.
    if (which == MsgButton::Yes && comtradeCapture(true).counts.empty()) {
        m_services.dialogs.messageDlg("The span between the cursors holds no sample: nothing to save",
                                      MsgKind::Error, {MsgButton::OK});
        return;
    }
    const FileDialogRequest request{"Save as COMTRADE", m_dataFolder, "Test.cfg",
                                    kComtradeSaveFilter, ".cfg"};
    const auto chosen = m_services.dialogs.saveFileDialog(request);
    if (!chosen) return;
    const ComtradeExport capture = comtradeCapture(which == MsgButton::Yes);
    const std::string base = comtradeBase(resolveInFolder(m_dataFolder, *chosen));
    const std::string error = writeComtradeFiles(base, capture, m_services.files);
    if (!error.empty()) {
        m_services.log.AddDebugLine("COMTRADE write failed: " + error);
        m_services.dialogs.messageDlg(error, MsgKind::Error, {MsgButton::OK});
        return;
    }
    m_services.dialogs.messageDlg("Written " + bareFileName(base) + ".cfg and " +
                                      bareFileName(base) + ".dat (" +
                                      std::to_string(capture.counts.size()) + " samples)",
                                  MsgKind::Information, {MsgButton::OK});
}

} // namespace qarn3
