#include "app/usbchoice.h"

#include "link/usbsim.h"
#include "platform/libusbapi.h"
#include "waveform/waveform.h"

#include <vector>

namespace qarn3 {

UsbLibrary makeUsbLibrary(const char* simulatedWaveform, const std::atomic<bool>* cableSwitch) {
    UsbLibrary library;
    if (simulatedWaveform && *simulatedWaveform) {
        auto simulator = std::make_unique<SimulatedMpusb>(SimulatedMpusb::Clock{}, cableSwitch);
        library.simulator = simulator.get();
        library.api = std::move(simulator);
    } else {
        library.api = std::make_unique<LibusbMpusb>();
    }
    return library;
}

bool loadSimulatedWaveform(SimulatedMpusb& simulator, const std::string& fileName,
                           Services& services, const std::string& dataFolder) {
    TWaveformData wave;
    WaveformFiles files(wave, services, dataFolder);
    if (!files.LoadFile(fileName)) return false;
    std::vector<std::int16_t> counts(wave.Samples.get(), wave.Samples.get() + wave.SampleCount);
    simulator.withAnalyzer([&counts](AnalyzerSimulator& a) { a.sample = playCounts(counts); });
    return true;
}

} // namespace qarn3
