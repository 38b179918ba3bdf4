#pragma once

#include "link/analyzersim.h"
#include "platform/mpusb.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace qarn3 {

// The analyzer's USB library calls in front of the analyzer simulator, on a real clock: the
// whole program runs a live test with no hardware. One analyzer is attached ("vid_04d8&pid_fdcf",
// instance 0, endpoint "\MCHP_EP1"). A read waits on the simulator (never spinning) until a
// full packet of 62 characters is there, an answer has arrived while not sampling, or the
// time-out ends it; what has arrived by then still counts. Thread-safe: the reader thread
// reads while the main thread writes. Pulling the cable detaches the analyzer: no device,
// every handle invalid from then on, every call fails at once; plugged in again it is a fresh
// analyzer (not sampling) that must be opened anew.
class SimulatedMpusb : public MpusbApi {
public:
    using Clock = std::function<std::int64_t()>; // milliseconds, never going back

    // cableSwitch, when given, is a second cable switch read at every call (a flag that a
    // signal handler may set).
    explicit SimulatedMpusb(Clock clock = {}, const std::atomic<bool>* cableSwitch = nullptr);

    // Runs f on the simulator under the lock (set its behaviour, read what it saw).
    void withAnalyzer(const std::function<void(AnalyzerSimulator&)>& f);
    void setCablePulled(bool pulled);
    // When set, every packet written is logged to it (commandLogLine: its number and bytes).
    void setCommandLog(std::ostream* log);

    std::uint32_t MPUSBGetDeviceCount(const char* device) override;
    MpusbHandle MPUSBOpen(std::uint32_t instance, const char* device, const char* endpoint,
                          std::uint32_t direction, std::uint32_t reserved) override;
    std::uint32_t MPUSBWrite(MpusbHandle handle, const std::uint8_t* data, std::uint32_t length,
                             std::uint32_t* sent, std::uint32_t timeoutMs) override;
    std::uint32_t MPUSBRead(MpusbHandle handle, std::uint8_t* data, std::uint32_t length,
                            std::uint32_t* received, std::uint32_t timeoutMs) override;
    void MPUSBClose(MpusbHandle handle) override;

    // How often reads have gone to sleep waiting for the analyzer (tests: reads never spin).
    std::int64_t waits() const { return m_waits; }

private:
    // Whether the cable is in, noticing a pull since the last call. Under m_lock.
    bool attached();
    bool validPipe(MpusbHandle handle, std::uint32_t direction);

    Clock m_clock;
    const std::atomic<bool>* m_cableSwitch;
    std::atomic<bool> m_pulled{false};
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    AnalyzerSimulator m_analyzer;
    bool m_wasAttached = true;
    std::uint32_t m_plugging = 0; // bumped at every pull: older handles are dead
    struct PipeInfo {
        std::uint32_t direction;
        std::uint32_t plugging;
    };
    std::map<MpusbHandle, PipeInfo> m_pipes;
    MpusbHandle m_next = 1;
    std::atomic<std::int64_t> m_waits{0};
    std::ostream* m_commandLog = nullptr;
    std::int64_t m_packetsLogged = 0;
};

} // namespace qarn3
