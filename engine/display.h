#pragma once

#include <cstdint>
#include <string>

namespace qarn3 {

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
    virtual void setRunButtonFont(Colour) {}
    virtual void setAnalyzeEnabled(bool) {}
    virtual void setStatusPanel(int /*index*/, const std::string& /*text*/) {}
    virtual void setStatusColour(Colour) {}
    virtual void setRangeListEnabled(bool) {}
    virtual void selectRange(int /*itemIndex*/) {}
    virtual void setCurrentBar(int /*percent*/) {}
    virtual void setTimeBar(int /*percent*/, Colour /*bar*/) {}
    virtual void setTimeBarColour(Colour) {}
    // A pulse has ended (or was cut short by the on-time limit or STOP).
    virtual void pulseMeasured(const PulseResult&) {}
};

} // namespace qarn3
