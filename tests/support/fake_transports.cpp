#include "support/fake_transports.h"

#include <algorithm>
#include <cstring>

namespace qarn3::test {

void VirtualWaits::run(int ms) {
    for (int t = 0; t < ms; t += 10) {
        nowMs += 10;
        if (pump) pump();
    }
}

void VirtualWaits::BusyWait(int ms) {
    calls.push_back("Busy " + std::to_string(ms));
    const std::int64_t deadline = nowMs + ms;
    while (nowMs <= deadline) {
        nowMs += 10;
        if (pump) pump();
    }
}

int VirtualWaits::BusyWaitShown(int ms, const std::string& caption) {
    calls.push_back("Shown " + std::to_string(ms) + " " + caption);
    BusyWait(ms);
    calls.pop_back();
    return 0;
}

void VirtualWaits::TimerWait(int ms) {
    calls.push_back("Timer " + std::to_string(ms));
    if (m_active) return;
    m_active = true;
    int remaining = ms;
    while (remaining > 0) {
        nowMs += 100;
        remaining -= 100;
        if (pump) pump();
    }
    m_active = false;
}

std::uint32_t FakeMpusb::MPUSBGetDeviceCount(const char* device) {
    return present && std::strcmp(device, kUsbDevice.c_str()) == 0 ? 1 : 0;
}

MpusbHandle FakeMpusb::MPUSBOpen(std::uint32_t, const char*, const char*, std::uint32_t,
                                 std::uint32_t) {
    if (!present || openFails) return kInvalidPipe;
    ++opens;
    return m_next++;
}

std::uint32_t FakeMpusb::MPUSBWrite(MpusbHandle handle, const std::uint8_t* data,
                                    std::uint32_t length, std::uint32_t* sent, std::uint32_t) {
    if (!present || writeFails || handle == kInvalidPipe) return 0;
    packets.emplace_back(data, data + length);
    if (length >= 3 && data[0] == 0x80) {
        m_analyzer.receive(std::string(1, static_cast<char>(data[2])), m_clock.nowMs);
    } else if (length >= 2 && data[0] == 0xF0) {
        m_analyzer.receive(std::string(reinterpret_cast<const char*>(data) + 2, length - 2),
                           m_clock.nowMs);
    }
    if (sent) *sent = length;
    return 1;
}

std::uint32_t FakeMpusb::MPUSBRead(MpusbHandle handle, std::uint8_t* data, std::uint32_t length,
                                   std::uint32_t* received, std::uint32_t) {
    if (!present || handle == kInvalidPipe) return 0;
    if (!rawReads.empty()) {
        auto p = rawReads.front();
        rawReads.pop_front();
        const auto n = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(p.size()));
        std::copy_n(p.begin(), n, data);
        *received = n;
        return 1;
    }
    m_analyzer.advance(m_clock.nowMs);
    if (m_analyzer.available() == 0) return 0;
    const std::string chunk = m_analyzer.take(length - 2);
    data[0] = 0x01;
    data[1] = static_cast<std::uint8_t>(chunk.size() + 2);
    std::memcpy(data + 2, chunk.data(), chunk.size());
    *received = static_cast<std::uint32_t>(chunk.size() + 2);
    return 1;
}

void FakeMpusb::MPUSBClose(MpusbHandle) {
    ++closes;
}

bool FakeSerialPort::SendInProgress() const {
    if (m_busyPolls < sendBusyPolls) {
        ++m_busyPolls;
        return true;
    }
    return false;
}

bool FakeSerialPort::SendString(const std::string& text) {
    if (!m_active) return false;
    sent.push_back(text);
    m_analyzer.receive(text, m_clock.nowMs);
    return true;
}

void FakeSerialPort::deliver() {
    if (!m_active) return;
    m_analyzer.advance(m_clock.nowMs);
    while (m_analyzer.available() > 0) {
        TSerialCluster c;
        const std::string s = m_analyzer.take(chunkLimit);
        c.data.assign(s.begin(), s.end());
        c.lineError = nextLineError;
        nextLineError = 0;
        queue.push_back(std::move(c));
    }
    while (!queue.empty() && OnRxClusterEvent)
        OnRxClusterEvent(*this);
}

int FakeSerialPort::NextClusterSize() const {
    return queue.empty() ? -1 : static_cast<int>(queue.front().data.size());
}

std::int64_t FakeSerialPort::NextClusterCCError() const {
    return queue.empty() ? -1 : std::int64_t{queue.front().lineError};
}

bool FakeSerialPort::TakeCluster(TSerialCluster& out) {
    if (queue.empty()) return false;
    out = std::move(queue.front());
    queue.pop_front();
    return true;
}

} // namespace qarn3::test
