#pragma once

#include "platform/mpusb.h"

#include <atomic>
#include <memory>
#include <string>

namespace qarn3 {

class SimulatedMpusb;
struct Services;

// The USB library calls the program uses: the simulated analyzer when simulatedWaveform (the
// QARN3_SIMULATED_ANALYZER variable) is given, else the real device through libusb.
struct UsbLibrary {
    std::unique_ptr<MpusbApi> api;
    SimulatedMpusb* simulator = nullptr; // set when simulating
};
UsbLibrary makeUsbLibrary(const char* simulatedWaveform, const std::atomic<bool>* cableSwitch);

// Loads the waveform file (resolved against the data folder) into the simulator's sample
// source: each start of sampling plays its counts once from the beginning, then zeros. False
// (with the file's error shown) when it cannot be read; the simulator then streams zeros.
bool loadSimulatedWaveform(SimulatedMpusb& simulator, const std::string& fileName,
                           Services& services, const std::string& dataFolder);

} // namespace qarn3
