#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace qarn3 {

// The analyzer's side of the byte protocol, in a time the caller gives: it takes the
// program's bytes, answers as the instrument does (link-test echo, calibration image out and
// in, discovery reply, reset, range codes) and streams two-character samples at 4800
// characters per second after the start command. It can be told to misbehave. The simulated
// USB device, the simulator program on a pseudo-terminal and the tests all put a transport in
// front of it. Not thread-safe: a transport used from two threads locks around it.
class AnalyzerSimulator {
public:
    AnalyzerSimulator();

    // --- behaviour ---
    bool silent = false;          // answers nothing and streams nothing
    std::string crReply = "\r\n"; // answer to a lone carriage return
    char echoFirst = 'A';         // first character of the test echo
    std::string echoTail = "\r";  // what follows it
    std::string extraAfterEcho;   // sent right after the echo
    std::string calImage;         // the image in the analyzer's memory, sent on 0x03
    std::string discoveryReply;   // answer to 0x14
    int replyDelayMs = 20;        // how long an answer takes
    int brokenPairEvery = 0;      // every n-th streamed pair has mismatched phase bits (0: never)
    // The count of the n-th sample since the last start command (-2048 .. 2044; the wire
    // carries steps of 4, so other values are rounded down to one).
    std::function<int(std::int64_t)> sample = [](std::int64_t) { return 0; };
    // Output not yet taken beyond this many characters is not produced (a stalled reader
    // loses stream, as the instrument's buffer would); whole pairs are dropped.
    std::size_t outputLimit = 1u << 20;

    // --- program to analyzer ---
    void receive(const std::string& bytes, std::int64_t nowMs);
    // When set, every byte received is written to it as a line: its number from 1 and its
    // value in hexadecimal, no time, so that two runs of the same exchanges compare equal.
    std::ostream* commandLog = nullptr;

    // --- analyzer to program ---
    // Moves answers and stream characters due by nowMs into the output.
    void advance(std::int64_t nowMs);
    std::size_t available() const { return m_output.size(); }
    // Takes up to max characters of output.
    std::string take(std::size_t max = SIZE_MAX);
    // Puts bytes into the output at once, ahead of nothing (garbage, bursts).
    void inject(const std::string& bytes) { m_output += bytes; }

    // --- what it saw ---
    std::vector<std::uint8_t> received; // every byte, in order
    std::string writtenImage;           // the last calibration image written
    int lastRangeCode = -1;
    int resets = 0;
    bool sampling = false;
    std::int64_t droppedChars = 0; // stream characters lost to the output limit

private:
    void queue(const std::string& bytes, std::int64_t nowMs);
    void handle(std::uint8_t c, std::int64_t nowMs);

    enum class State { Normal, AfterA, WriteCal } m_state = State::Normal;
    std::string m_imageInProgress;
    std::deque<std::pair<std::int64_t, std::string>> m_pending;
    std::string m_output;
    std::int64_t m_streamStartMs = 0;
    std::int64_t m_charsStreamed = 0;
    std::int64_t m_logged = 0;
};

// One line of a command log: the number (from 1) and the bytes in hexadecimal.
std::string commandLogLine(std::int64_t number, const std::uint8_t* bytes, std::size_t count);

// A valid 128-character calibration image (the default factors, thresholds and delays, a
// simulator serial number), as a freshly set-up instrument holds.
std::string simulatorCalImage();

// A sample source that plays counts once, then zeros.
std::function<int(std::int64_t)> playCounts(std::vector<std::int16_t> counts);

} // namespace qarn3
