#pragma once

#include <cstdint>
#include <string>

namespace qarn3 {

struct TWaveformData;

// The platform's standard colours the readings and status use.
enum class Colour { ButtonFace, Red, Green, Lime, Yellow, Blue };

// One measured pulse, as the engine reports it when the pulse ends.
struct PulseResult {
    double startSeconds = 0; // first sample of the pulse (the trigger less OnDelay - 1)
    float pulseAmps = 0;     // RMS current of the pulse
    std::uint32_t onSamples = 0;
    double seconds = 0;   // onSamples x SamplePeriod
    double cycles = 0;    // seconds x 60
    bool suspect = false; // above 1.2 x the largest 20-sample RMS
    bool underRange = false;
    bool cutShort = false; // still on when the MaxOn limit ended the test
    // Samples lost and pairs rejected by the link since the test was reset (0 when playing a
    // file): the reading may rest on damaged data.
    std::uint64_t dataErrors = 0;
};

// The pulse-end event: a pulse's reading and flags, and the capture holding the pulse.
struct PulseEnd {
    const PulseResult& result;
    // The waveform store the engine captures into; its PulseFirst and PulseCount mark the
    // pulse. The next samples go on filling it: a listener copies what it keeps.
    const TWaveformData& capture;
    // The sample (counted from 0 at the test's reset) in the capture's first slot.
    std::int64_t captureStartSample = 0;
};

// Where the engine writes its readings, captions and status: the main window in the
// program, a recorder in tests and the analysis tool.
class EngineDisplay {
public:
    virtual ~EngineDisplay() = default;
    virtual void setPulseCurrent(const std::string& /*text*/) {}
    virtual void setPulseCurrentColour(Colour) {}
    virtual void setPulseSeconds(const std::string& /*text*/) {}
    virtual void setPulseCycles(const std::string& /*text*/) {}
    virtual void setLiveCurrent(const std::string& /*text*/, Colour) {}
    virtual void setArmedRunningPanel(const std::string& /*text*/, Colour) {}
    virtual void setRunButton(const std::string& /*caption*/, Colour /*font*/) {}
    virtual void setAnalyzeEnabled(bool) {}
    virtual void setStatusPanel(int /*index*/, const std::string& /*text*/) {}
    virtual void setStatusColour(Colour) {}
    virtual void setRangeListEnabled(bool) {}
    virtual void selectRange(int /*itemIndex*/) {}
    virtual void setCurrentBar(int /*percent*/) {}
    virtual void setTimeBar(int /*percent*/, Colour /*bar*/) {}
    virtual void setTimeBarColour(Colour) {}
};

} // namespace qarn3
