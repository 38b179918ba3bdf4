// Finding the analyzer's serial port: the device store's description of its USB device, the
// serial ports present, and the discovery probe.
#include "link/comlink.h"

#include "diag/debuglog.h"
#include "diag/waits.h"
#include "platform/registry.h"
#include "platform/textformat.h"

#include <algorithm>

namespace qarn3 {

namespace {
std::string usbKey(const std::string& device, const std::string& serial) {
    return std::string(kUsbEnumKey) + "\\" + device + "\\" + serial;
}
} // namespace

TCommPortInfo ComLink::GetCommPortInfo(const std::string& device, const std::string& serial) {
    TCommPortInfo info;
    if (!m_registry) {
        m_log.AddDebugLine("Error creating Reg ");
        return info;
    }
    const std::string key = usbKey(device, serial);
    m_log.AddDebugLine("Key: " + key);
    const auto friendly = m_registry->stringValue(key, "FriendlyName");
    const auto port = m_registry->stringValue(key + "\\Device Parameters", "PortName");
    if (friendly && port) info = {*friendly, *port};
    LastPortInfo = info;
    return info;
}

void ComLink::EnumCommPorts(std::vector<std::string>& list) const {
    if (!m_registry) return;
    for (const std::string& name : m_registry->valueNames(kSerialCommKey)) {
        const auto port = m_registry->stringValue(kSerialCommKey, name);
        if (port && std::find(list.begin(), list.end(), *port) == list.end()) list.push_back(*port);
    }
}

std::string ComLink::GetCommPortName() {
    m_log.AddDebugLine("Getting CommPortName ");
    if (portOpen()) return m_serial->CommPort();
    PortName = "COM";
    SerialPortOFF();
    LinkValid = false;
    std::vector<std::string> ports;
    EnumCommPorts(ports);
    for (const std::string& p : ports)
        m_log.AddDebugLine(trimText(p));
    for (const DiscoveryCandidate& c : kDiscoveryCandidates) {
        if (PortName != "COM") break;
        const TCommPortInfo info = GetCommPortInfo(kAnalyzerUsbDevice, c.serial);
        if (info.FriendlyName.rfind(c.friendlyPrefix, 0) != 0) continue;
        m_log.AddDebugLine("FriendlyName: " + info.FriendlyName);
        m_log.AddDebugLine("Opening " + info.PortName + " ");
        if (!OpenComm(info.PortName)) continue;
        m_log.AddDebugLine("Testing " + info.PortName + " ");
        ClearInput(true);
        SendChar(cmd::DiscoveryProbe);
        m_waits.TimerWait(400);
        if (DiscoveryReplyOK()) {
            PortName = info.PortName;
            LinkValid = true;
            ClearInput(true);
            m_serial->SetActive(true);
        }
    }
    m_log.AddDebugLine("Tested Port: " + PortName);
    return PortName;
}

std::string ComLink::portToTest(const std::string& sourceName) {
    const std::string name = trimText(sourceName);
    if (!portOpen() && !name.empty() && name[0] == '/') return name;
    return GetCommPortName();
}

} // namespace qarn3
