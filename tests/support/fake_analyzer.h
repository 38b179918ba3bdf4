#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qarn3::test {

// A scripted analyzer in virtual time: it takes the program's bytes, answers as the real one
// does, streams samples after 0x01, and can be told to misbehave.
class FakeAnalyzer {
public:
    FakeAnalyzer();

    // --- behaviour ---
    bool silent = false;          // answers nothing
    std::string crReply = "\r\n"; // answer to a lone carriage return
    char echoFirst = 'A';         // first character of the test echo
    std::string echoTail = "\r";  // what follows it
    std::string extraAfterEcho;   // sent right after the echo
    std::string calImage;         // answer to 0x03 (128 characters by default)
    std::string discoveryReply;   // answer to 0x14
    int replyDelayMs = 20;        // how long an answer takes
    int brokenPairEvery = 0;      // every n-th streamed pair is broken (0: never)
    std::function<int(std::int64_t)> sample = [](std::int64_t) { return 0; };

    // --- program to analyzer ---
    void receive(const std::string& bytes, std::int64_t nowMs);

    // --- analyzer to program ---
    // Moves answers and stream characters due by nowMs into the output.
    void advance(std::int64_t nowMs);
    std::size_t available() const { return m_output.size(); }
    // Takes up to max characters of output.
    std::string take(std::size_t max = SIZE_MAX);

    // --- what it saw ---
    std::vector<std::uint8_t> received; // every byte, in order
    std::string writtenImage;           // the last calibration image written
    int lastRangeCode = -1;
    int resets = 0;
    bool sampling = false;

private:
    void queue(const std::string& bytes, std::int64_t nowMs);
    void handle(std::uint8_t c, std::int64_t nowMs);

    enum class State { Normal, AfterA, WriteCal } m_state = State::Normal;
    std::string m_imageInProgress;
    std::deque<std::pair<std::int64_t, std::string>> m_pending;
    std::string m_output;
    std::int64_t m_streamStartMs = 0;
    std::int64_t m_charsStreamed = 0;
};

// A 128-character calibration image whose ninth character is a carriage return.
std::string sampleCalImage();

} // namespace qarn3::test
