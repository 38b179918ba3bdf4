#include "support/fake_analyzer.h"

#include "link/protocol.h"

namespace qarn3::test {

std::string sampleCalImage() {
    // Eight factor lines of 9 characters, then thresholds and delays, padded to 128.
    std::string s;
    for (int i = 0; i < 8; ++i)
        s += "0.001225\r";
    s += "  40\r  40\r   5\r  20\r  15\r0.100\r";
    s.resize(128, ' ');
    return s;
}

FakeAnalyzer::FakeAnalyzer() : calImage(sampleCalImage()) {
    discoveryReply = "QARN31";
    discoveryReply.resize(240, 'x');
}

void FakeAnalyzer::receive(const std::string& bytes, std::int64_t nowMs) {
    for (char ch : bytes) {
        received.push_back(static_cast<std::uint8_t>(ch));
        handle(static_cast<std::uint8_t>(ch), nowMs);
    }
}

void FakeAnalyzer::queue(const std::string& bytes, std::int64_t nowMs) {
    if (silent || bytes.empty()) return;
    m_pending.emplace_back(nowMs + replyDelayMs, bytes);
}

void FakeAnalyzer::handle(std::uint8_t c, std::int64_t nowMs) {
    if (m_state == State::WriteCal) {
        if (c == cmd::StopSampling) {
            writtenImage = m_imageInProgress;
            m_state = State::Normal;
        } else {
            m_imageInProgress += static_cast<char>(c);
        }
        return;
    }
    if (m_state == State::AfterA) {
        m_state = State::Normal;
        if (c == '\r') {
            queue(std::string(1, echoFirst) + echoTail + extraAfterEcho, nowMs);
            return;
        }
    }
    switch (c) {
    case cmd::StartSampling:
        sampling = true;
        m_streamStartMs = nowMs;
        m_charsStreamed = 0;
        break;
    case cmd::SendCalImage:
        queue(calImage, nowMs);
        break;
    case cmd::StopSampling:
        sampling = false;
        break;
    case cmd::WriteCalImage:
        m_state = State::WriteCal;
        m_imageInProgress.clear();
        break;
    case cmd::CarriageReturn:
        queue(crReply, nowMs);
        break;
    case 'A':
        m_state = State::AfterA;
        break;
    case cmd::DiscoveryProbe:
        queue(discoveryReply, nowMs);
        break;
    case cmd::ResetAnalyzer:
        ++resets;
        sampling = false;
        break;
    default:
        if (c >= 0x30 && c <= 0x37) lastRangeCode = c;
        break;
    }
}

void FakeAnalyzer::advance(std::int64_t nowMs) {
    while (!m_pending.empty() && m_pending.front().first <= nowMs) {
        m_output += m_pending.front().second;
        m_pending.pop_front();
    }
    if (!sampling || silent) return;
    const std::int64_t due = (nowMs - m_streamStartMs) * kCharsPerSecond / 1000;
    while (m_charsStreamed + 2 <= due) {
        const std::int64_t index = m_charsStreamed / 2;
        std::uint8_t first, second;
        encodeSample(sample(index), (index & 1) != 0, first, second);
        if (brokenPairEvery > 0 && index % brokenPairEvery == brokenPairEvery - 1)
            second = static_cast<std::uint8_t>(second ^ 0x02); // phase bits differ
        m_output += static_cast<char>(first);
        m_output += static_cast<char>(second);
        m_charsStreamed += 2;
    }
}

std::string FakeAnalyzer::take(std::size_t max) {
    const std::size_t n = std::min(max, m_output.size());
    std::string s = m_output.substr(0, n);
    m_output.erase(0, n);
    return s;
}

} // namespace qarn3::test
