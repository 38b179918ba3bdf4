#include "link/usbsim.h"

#include "link/protocol.h"
#include "link/usblink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <strings.h>

namespace qarn3 {

namespace {

constexpr std::size_t kPacketData = 62;
constexpr std::int64_t kAnswerPollMs = 10;

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

SimulatedMpusb::SimulatedMpusb(Clock clock, const std::atomic<bool>* cableSwitch)
    : m_clock(clock ? std::move(clock) : Clock(steadyMs)), m_cableSwitch(cableSwitch) {}

void SimulatedMpusb::withAnalyzer(const std::function<void(AnalyzerSimulator&)>& f) {
    std::lock_guard<std::mutex> guard(m_lock);
    f(m_analyzer);
    m_changed.notify_all();
}

void SimulatedMpusb::setCommandLog(std::ostream* log) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_commandLog = log;
}

void SimulatedMpusb::setCablePulled(bool pulled) {
    m_pulled = pulled;
    std::lock_guard<std::mutex> guard(m_lock);
    m_changed.notify_all();
}

bool SimulatedMpusb::attached() {
    const bool now = !m_pulled && !(m_cableSwitch && m_cableSwitch->load());
    if (m_wasAttached && !now) {
        // Unplugged: the open pipes die and the analyzer loses power.
        ++m_plugging;
        m_pipes.clear();
        m_analyzer.sampling = false;
        m_analyzer.take();
    }
    m_wasAttached = now;
    return now;
}

bool SimulatedMpusb::validPipe(MpusbHandle handle, std::uint32_t direction) {
    if (!attached()) return false;
    const auto it = m_pipes.find(handle);
    return it != m_pipes.end() && it->second.direction == direction &&
           it->second.plugging == m_plugging;
}

std::uint32_t SimulatedMpusb::MPUSBGetDeviceCount(const char* device) {
    std::lock_guard<std::mutex> guard(m_lock);
    return attached() && device && strcasecmp(device, kUsbDevice.c_str()) == 0 ? 1 : 0;
}

MpusbHandle SimulatedMpusb::MPUSBOpen(std::uint32_t instance, const char* device,
                                      const char* endpoint, std::uint32_t direction,
                                      std::uint32_t /*reserved*/) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!attached() || instance != 0 || direction > 1 || !device || !endpoint ||
        strcasecmp(device, kUsbDevice.c_str()) != 0 || strcasecmp(endpoint, kUsbEndpoint) != 0)
        return kInvalidPipe;
    const MpusbHandle handle = m_next++;
    m_pipes[handle] = {direction, m_plugging};
    return handle;
}

std::uint32_t SimulatedMpusb::MPUSBWrite(MpusbHandle handle, const std::uint8_t* data,
                                         std::uint32_t length, std::uint32_t* sent,
                                         std::uint32_t /*timeoutMs*/) {
    if (sent) *sent = 0;
    std::lock_guard<std::mutex> guard(m_lock);
    if (!validPipe(handle, 0) || !data || length < 2) return 0;
    if (m_commandLog)
        *m_commandLog << commandLogLine(++m_packetsLogged, data, length) << std::flush;
    // The envelope: a command packet carries one byte, a string packet its length's worth.
    const std::uint32_t end = std::min<std::uint32_t>(length, data[1]);
    if (data[0] == 0x80 && end >= 3) {
        m_analyzer.receive(std::string(1, static_cast<char>(data[2])), m_clock());
    } else if (data[0] == 0xF0 && end > 2) {
        m_analyzer.receive(std::string(reinterpret_cast<const char*>(data) + 2, end - 2),
                           m_clock());
    }
    if (sent) *sent = length;
    m_changed.notify_all();
    return 1;
}

std::uint32_t SimulatedMpusb::MPUSBRead(MpusbHandle handle, std::uint8_t* data,
                                        std::uint32_t length, std::uint32_t* received,
                                        std::uint32_t timeoutMs) {
    if (received) *received = 0;
    if (!data || length < 3) return 0;
    const std::size_t room = std::min<std::size_t>(kPacketData, length - 2);
    std::unique_lock<std::mutex> lock(m_lock);
    const std::int64_t deadline = m_clock() + std::max<std::uint32_t>(timeoutMs, 1);
    for (;;) {
        if (!validPipe(handle, 1)) return 0;
        const std::int64_t now = m_clock();
        m_analyzer.advance(now);
        const std::size_t avail = m_analyzer.available();
        const bool full = avail >= room;
        const bool answer = avail > 0 && !m_analyzer.sampling;
        if (full || answer || (avail > 0 && now >= deadline)) {
            const std::string chunk = m_analyzer.take(room);
            data[0] = 0x01;
            data[1] = static_cast<std::uint8_t>(chunk.size() + 2);
            std::memcpy(data + 2, chunk.data(), chunk.size());
            if (received) *received = static_cast<std::uint32_t>(chunk.size() + 2);
            return 1;
        }
        if (now >= deadline) return 0;
        // Sampling: until the packet is full. Otherwise answers come some time after a write,
        // with no one to announce them, so look again shortly.
        std::int64_t step = kAnswerPollMs;
        if (m_analyzer.sampling)
            step = static_cast<std::int64_t>(room - avail) * 1000 / kCharsPerSecond + 1;
        ++m_waits;
        m_changed.wait_for(lock, std::chrono::milliseconds(std::min(step, deadline - now)));
    }
}

void SimulatedMpusb::MPUSBClose(MpusbHandle handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pipes.erase(handle);
}

} // namespace qarn3
