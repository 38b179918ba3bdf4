#pragma once

#include "records/rows.h"

#include <QByteArray>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace qarn3 {

struct Services;
struct TWaveformData;
class TfmWaveform;

// Shows a stored shot's waveform to the operator; the program chooses the viewer.
class WaveformOpener {
public:
    virtual ~WaveformOpener() = default;
    // bytes: the shot's waveform file (.owf) byte for byte; row: the shot and its records.
    virtual void openWaveform(const QByteArray& bytes, const ShotRow& row) = 0;
};

// Opens each waveform in a waveform window of its own, on a store of its own, so that the
// capture in the main window's store is not touched. The bytes are read as a waveform file
// is (through a file in a private temporary folder, removed at once), and the window zooms to
// the shot's pulse, whose cycle table it shows first. The window is made at the first
// waveform, not modal, and goes with this object.
class ViewerWaveformOpener : public WaveformOpener {
public:
    // services: files, boxes and the debug log of the program; dataFolder: where Save
    // opens; mainsHz: the site's mains frequency for the cycle table.
    ViewerWaveformOpener(Services& services, std::string dataFolder, char decimalSeparator,
                         std::function<int()> mainsHz, QWidget* parent = nullptr);
    ~ViewerWaveformOpener() override;
    ViewerWaveformOpener(const ViewerWaveformOpener&) = delete;
    ViewerWaveformOpener& operator=(const ViewerWaveformOpener&) = delete;

    void openWaveform(const QByteArray& bytes, const ShotRow& row) override;

    // The window of the last waveform (none before the first), and its store.
    TfmWaveform* window() const;
    const TWaveformData& store() const { return *m_wave; }

private:
    Services& m_services;
    std::string m_dataFolder;
    char m_separator;
    std::function<int()> m_mainsHz;
    QWidget* m_parent;
    std::unique_ptr<TWaveformData> m_wave;
    QPointer<TfmWaveform> m_window;
};

} // namespace qarn3
