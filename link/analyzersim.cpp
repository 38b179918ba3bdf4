#include "link/analyzersim.h"

#include "link/protocol.h"

#include <algorithm>
#include <memory>

namespace qarn3 {

std::string simulatorCalImage() {
    std::string s;
    for (int i = 0; i < 8; ++i)
        s += "0.001225\r\n";
    s += "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\nSIM0000001\r\n46000\r\n";
    return s;
}

std::function<int(std::int64_t)> playCounts(std::vector<std::int16_t> counts) {
    auto shared = std::make_shared<const std::vector<std::int16_t>>(std::move(counts));
    return [shared](std::int64_t i) {
        return i >= 0 && static_cast<std::size_t>(i) < shared->size()
                   ? (*shared)[static_cast<std::size_t>(i)]
                   : 0;
    };
}

AnalyzerSimulator::AnalyzerSimulator() : calImage(simulatorCalImage()) {
    // The reply's sixth character is "1"; the rest only has to be long enough.
    discoveryReply = "QARN31";
    discoveryReply.resize(240, 'x');
}

std::string commandLogLine(std::int64_t number, const std::uint8_t* bytes, std::size_t count) {
    static const char* const kHex = "0123456789abcdef";
    std::string line = std::to_string(number);
    for (std::size_t i = 0; i < count; ++i) {
        line += ' ';
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 15];
    }
    return line + "\n";
}

void AnalyzerSimulator::receive(const std::string& bytes, std::int64_t nowMs) {
    for (char ch : bytes) {
        received.push_back(static_cast<std::uint8_t>(ch));
        if (commandLog) {
            const auto byte = static_cast<std::uint8_t>(ch);
            *commandLog << commandLogLine(++m_logged, &byte, 1) << std::flush;
        }
        handle(static_cast<std::uint8_t>(ch), nowMs);
    }
}

void AnalyzerSimulator::queue(const std::string& bytes, std::int64_t nowMs) {
    if (silent || bytes.empty()) return;
    m_pending.emplace_back(nowMs + replyDelayMs, bytes);
}

void AnalyzerSimulator::handle(std::uint8_t c, std::int64_t nowMs) {
    if (m_state == State::WriteCal) {
        if (c == cmd::StopSampling) {
            writtenImage = m_imageInProgress;
            calImage = m_imageInProgress; // kept in the instrument's memory
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

void AnalyzerSimulator::advance(std::int64_t nowMs) {
    while (!m_pending.empty() && m_pending.front().first <= nowMs) {
        m_output += m_pending.front().second;
        m_pending.pop_front();
    }
    if (!sampling) return;
    const std::int64_t due = (nowMs - m_streamStartMs) * kCharsPerSecond / 1000;
    if (silent) {
        // A stalled instrument does not catch up afterwards: what fell due meanwhile is gone.
        m_charsStreamed = std::max(m_charsStreamed, due / 2 * 2);
        return;
    }
    while (m_charsStreamed + 2 <= due) {
        if (m_output.size() + 2 > outputLimit) {
            // Nobody is reading: the rest of what is due is lost, in whole pairs.
            const std::int64_t lost = (due - m_charsStreamed) / 2 * 2;
            droppedChars += lost;
            m_charsStreamed += lost;
            break;
        }
        const std::int64_t index = m_charsStreamed / 2;
        m_charsStreamed += 2;
        // The converter saturates at its ends.
        const int count = std::clamp(sample(index), -2048, 2044);
        std::uint8_t first, second;
        encodeSample(count, (index & 1) != 0, first, second);
        if (brokenPairEvery > 0 && index % brokenPairEvery == brokenPairEvery - 1)
            second = static_cast<std::uint8_t>(second ^ 0x02); // phase bits differ
        m_output += static_cast<char>(first);
        m_output += static_cast<char>(second);
    }
}

std::string AnalyzerSimulator::take(std::size_t max) {
    const std::size_t n = std::min(max, m_output.size());
    std::string s = m_output.substr(0, n);
    m_output.erase(0, n);
    return s;
}

} // namespace qarn3
