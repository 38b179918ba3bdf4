#include "link/usblink.h"

#include "diag/debuglog.h"
#include "diag/waits.h"
#include "link/calexchange.h"
#include "platform/dialogs.h"
#include "platform/registry.h"

namespace qarn3 {

namespace {
constexpr std::uint32_t kUsbTimeoutMs = 100;
constexpr std::uint32_t kDirWrite = 0;
constexpr std::uint32_t kDirRead = 1;
} // namespace

UsbLink::UsbLink(MpusbApi& api, Waits& waits, DebugLog& log, DialogService& dialogs)
    : m_api(api), m_waits(waits), m_log(log), m_dialogs(dialogs) {}

bool UsbLink::DevicePresent() {
    return m_api.MPUSBGetDeviceCount(kUsbDevice.c_str()) != 0;
}

bool UsbLink::OpenUSB() {
    m_log.AddDebugLine("OpenUSB ");
    m_view->setTimerEnabled(false);
    if (!DevicePresent()) return false;
    if (m_writeHandle != kInvalidPipe && m_readHandle != kInvalidPipe) {
        m_log.AddDebugLine("USB Handles valid");
    } else {
        if (m_writeHandle != kInvalidPipe) m_api.MPUSBClose(m_writeHandle);
        if (m_readHandle != kInvalidPipe) {
            if (m_reader) m_reader->requestStop();
            m_api.MPUSBClose(m_readHandle);
        }
        m_writeHandle = kInvalidPipe;
        m_readHandle = kInvalidPipe;
        m_writeHandle = m_api.MPUSBOpen(0, kUsbDevice.c_str(), kUsbEndpoint, kDirWrite, 0);
        m_readHandle = m_api.MPUSBOpen(0, kUsbDevice.c_str(), kUsbEndpoint, kDirRead, 0);
    }
    USBInitBuffer();
    if (m_writeHandle == kInvalidPipe || m_readHandle == kInvalidPipe) {
        m_log.AddDebugLine("USB Error Invalid Handle");
        m_view->addStatus("USB Error Invalid Handle");
        adviseOperator();
        return false;
    }
    showDeviceText();
    return true;
}

void UsbLink::adviseOperator() {
    // A failure the operator can mend (no permission on the device) is explained once a run;
    // the hardware check's retry would otherwise repeat it at every pass.
    const std::string advice = m_api.takeProblem();
    if (advice.empty()) return;
    m_log.AddDebugLine("USB " + advice);
    if (advice == m_adviceShown) return;
    m_adviceShown = advice;
    m_dialogs.messageDlg(advice, MsgKind::Error, {MsgButton::OK});
}

void UsbLink::showDeviceText() {
    std::string instance = kUsbSerial;
    TUSBPortInfo info = GetUSBPortInfo(kUsbDevice, instance);
    if (info.DeviceClass.empty() && m_registry) {
        // An analyzer with another serial number: the one attached.
        const auto serials = m_registry->subkeyNames(std::string(kUsbEnumKey) + "\\" + kUsbDevice);
        if (!serials.empty()) {
            instance = serials.front();
            info = GetUSBPortInfo(kUsbDevice, instance);
        }
    }
    if (!info.DeviceClass.empty())
        m_view->setDeviceText(kUsbDevice + "\\" + instance + " " + info.DeviceClass);
}

TUSBPortInfo UsbLink::GetUSBPortInfo(const std::string& device, const std::string& instance) {
    TUSBPortInfo info;
    if (!m_registry) {
        m_log.AddDebugLine("Error creating Reg ");
        return info;
    }
    const std::string key = std::string(kUsbEnumKey) + "\\" + device + "\\" + instance;
    m_log.AddDebugLine("Key: " + key);
    const auto deviceClass = m_registry->stringValue(key, "Class");
    const auto service = m_registry->stringValue(key, "Service");
    if (deviceClass && service) {
        info.DeviceClass = *deviceClass;
        info.Service = *service;
    }
    return info;
}

void UsbLink::CloseUSB() {
    m_log.AddDebugLine("CloseUSB ");
    // The reader is asked to stop first; a read still under way on the closed pipe just fails.
    if (m_reader) m_reader->requestStop();
    if (m_writeHandle != kInvalidPipe) m_api.MPUSBClose(m_writeHandle);
    if (m_readHandle != kInvalidPipe) m_api.MPUSBClose(m_readHandle);
    m_writeHandle = kInvalidPipe;
    m_readHandle = kInvalidPipe;
    LinkValid = false;
}

void UsbLink::USBInitBuffer() {
    m_log.AddDebugLine("USB InitBuffer ");
    m_ring.clear();
}

bool UsbLink::USBSendCommand(std::uint8_t command) {
    ReadLife = kReadLifeFull;
    if (m_reader) m_reader->ensureRunning();
    const auto packet = usbCommandPacket(command);
    std::uint32_t sent = 0;
    if (m_api.MPUSBWrite(m_writeHandle, packet.data(), static_cast<std::uint32_t>(packet.size()),
                         &sent, kUsbTimeoutMs) == 0)
        return false;
    ReadLife = kReadLifeFull;
    if (m_reader) m_reader->ensureRunning();
    return true;
}

bool UsbLink::USBSendString(const std::string& text) {
    m_log.AddDebugLine("USB Send String " + text);
    if (text.empty()) return false;
    bool result = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::string chunk = text.substr(pos, kUsbMaxStringChunk);
        const auto packet = usbStringPacket(chunk);
        m_view->addStatus(chunk);
        ReadLife = kReadLifeFull;
        if (m_reader) m_reader->ensureRunning();
        m_waits.BusyWait(100);
        std::uint32_t sent = 0;
        if (m_api.MPUSBWrite(m_writeHandle, packet.data(),
                             static_cast<std::uint32_t>(packet.size()), &sent,
                             kUsbTimeoutMs) != 0) {
            ReadLife = kReadLifeFull;
            result = true;
        } else {
            m_log.AddDebugLine("USB SendStr Error ");
            result = false;
        }
        pos += chunk.size();
        if (pos < text.size()) m_waits.BusyWait(300);
    }
    return result;
}

void UsbLink::USBSendRange(int rangeIndex) {
    const std::uint8_t code = rangeCode(rangeIndex);
    m_log.AddDebugLine(std::string("USB Send Range ") + static_cast<char>(code));
    if (!DevicePresent()) return;
    if (Sampling) USBStopSampling();
    m_waits.BusyWait(100);
    if (!USBSendCommand(code)) m_log.AddDebugLine("USB Send Range Error");
    m_waits.BusyWait(100);
    USBStartSampling();
}

void UsbLink::USBStartSampling() {
    m_log.AddDebugLine("USB StartSampling ");
    USBInitBuffer();
    ReadLife = kReadLifeFull;
    if (m_reader) m_reader->ensureRunning();
    USBSendCommand(cmd::StartSampling);
    Sampling = true;
    m_view->setTimerEnabled(true);
}

void UsbLink::USBStopSampling() {
    m_log.AddDebugLine("USB StopSampling ");
    if (DevicePresent()) USBSendCommand(cmd::StopSampling);
    Sampling = false;
    if (m_reader) m_reader->requestStop();
    m_view->setTimerEnabled(false);
}

void UsbLink::logCount() {
    m_log.AddDebugLine("USBCommBuffer.count=" + std::to_string(m_ring.RxCount()));
}

int UsbLink::USBTestComm() {
    m_log.AddDebugLine("USB TestComm ");
    if (Sampling) USBStopSampling();
    m_waits.BusyWait(100);
    USBInitBuffer();
    if (!DevicePresent()) return 1;
    if (!OpenUSB()) return 2;

    USBSendCommand(cmd::CarriageReturn);
    m_waits.BusyWait(100);
    logCount();

    m_log.AddDebugLine("Reading excess characters ");
    for (int i = 0; i < 10 && m_ring.RxCount() > 0; ++i) {
        m_ring.RingGet();
        logCount();
    }

    USBSendString(kTestString);
    m_log.AddDebugLine("USB Sent test string ");
    for (int i = 0; i < 10 && m_ring.RxCount() < 2; ++i) {
        m_waits.BusyWait(100);
        logCount();
    }

    int result;
    if (m_ring.RxCount() < 2) {
        m_log.AddDebugLine("USB Comm Test Timeout");
        LinkValid = false;
        result = 3;
    } else {
        const int c = m_ring.peek(0);
        m_log.AddDebugLine("USB Received test character [" + std::to_string(c) + "]");
        if (c == 'A') {
            LinkValid = true;
            result = 5;
        } else {
            m_log.AddDebugLine("USB Wrong test char [" + std::to_string(c) + "]");
            LinkValid = false;
            result = 4;
        }
    }
    USBInitBuffer();
    m_log.AddDebugLine("End USBTestComm ");
    return result;
}

void UsbLink::USBSendCal(const std::string& image) {
    m_log.AddDebugLine("USBSendCal ");
    if (!DevicePresent()) return;
    const std::string s = calWriteString(image);
    if (!confirmCalWrite(m_dialogs)) return;
    USBSendString(s);
    m_waits.BusyWait(300);
}

bool UsbLink::USBReceiveCal(std::string& image) {
    m_log.AddDebugLine("USBReceiveCal ");
    bool result = false;
    if (!DevicePresent()) return false;
    USBStopSampling();
    m_waits.BusyWait(300);
    USBInitBuffer();
    USBSendCommand(cmd::SendCalImage);
    m_waits.BusyWait(100);
    if (const auto read = pollCalImage(m_ring, m_log, [this](int ms) { m_waits.BusyWait(ms); })) {
        image = *read;
        result = true;
    }
    if (!result) LinkValid = false;
    m_log.AddDebugLine("End USBReceiveCal ");
    return result;
}

bool UsbLink::readerPoll() {
    std::uint8_t buf[64];
    std::uint32_t received = 0;
    if (m_api.MPUSBRead(m_readHandle.load(), buf, sizeof buf, &received, kUsbTimeoutMs) == 0)
        return false;
    if (received > sizeof buf) received = sizeof buf;
    const std::uint32_t data = received > 2 ? received - 2 : 0;
    if (data > 0) {
        ReceivedChars += data;
        m_ring.putBlock(buf + 2, data);
    }
    RxDataCount = static_cast<std::int32_t>(data);
    ReadLife = kReadLifeFull;
    return true;
}

} // namespace qarn3
