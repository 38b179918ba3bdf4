#include "link/analyzerlink.h"

#include "diag/debuglog.h"
#include "diag/waits.h"
#include "link/comlink.h"
#include "link/usblink.h"
#include "platform/textformat.h"

namespace qarn3 {

// --- USB ---

LinkResult UsbAnalyzerLink::resultOf(int usbTestComm) {
    switch (usbTestComm) {
    case 5:
        return LinkResult::Ok;
    case 1:
        return LinkResult::NoDevice;
    case 2:
        return LinkResult::NotOpen;
    case 3:
        return LinkResult::Timeout;
    default:
        return LinkResult::WrongReply;
    }
}

bool UsbAnalyzerLink::LinkValid() const {
    return m_link.LinkValid;
}
void UsbAnalyzerLink::clearLinkValid() {
    m_link.LinkValid = false;
}
bool UsbAnalyzerLink::Sampling() const {
    return m_link.Sampling;
}
LinkStatus UsbAnalyzerLink::status(const std::string&, const std::string& serialNumber) const {
    if (m_link.LinkValid) return {serialNumber + " on USB port", false};
    return {"Error on USB port", true};
}
bool UsbAnalyzerLink::open() {
    return m_link.OpenUSB();
}
LinkResult UsbAnalyzerLink::test() {
    return resultOf(m_link.USBTestComm());
}
void UsbAnalyzerLink::reset() {
    m_link.USBSendCommand(cmd::ResetAnalyzer);
}
bool UsbAnalyzerLink::receiveCalibration(std::string& image) {
    return m_link.USBReceiveCal(image);
}
bool UsbAnalyzerLink::sendCalibration(const std::string& image) {
    if (!m_link.DevicePresent()) return false;
    m_link.USBSendCal(image);
    return true;
}
void UsbAnalyzerLink::startSampling() {
    m_link.USBStartSampling();
}
void UsbAnalyzerLink::stopSampling() {
    m_link.USBStopSampling();
}
void UsbAnalyzerLink::setRange(int rangeIndex) {
    m_link.USBSendRange(rangeIndex);
}
void UsbAnalyzerLink::close() {
    m_link.CloseUSB();
}
int UsbAnalyzerLink::samplesWaiting() const {
    return static_cast<int>(static_cast<std::uint16_t>(m_link.RxCount()) / 2);
}
int UsbAnalyzerLink::GetSample() {
    const int sample = m_link.GetSample();
    m_link.ReadLife = kReadLifeFull;
    return sample;
}
std::uint64_t UsbAnalyzerLink::dataErrors() const {
    return m_link.dataErrors();
}
void UsbAnalyzerLink::clearErrorCount() {
    m_link.errors().ErrorCount = 0;
}
void UsbAnalyzerLink::chosen() {
    if (!m_link.LinkValid) m_link.CloseUSB();
}
FoundAnalyzer UsbAnalyzerLink::findAnalyzer(const std::string&) {
    if (m_link.Sampling) m_link.USBStopSampling();
    m_link.waits().BusyWait(300);
    m_link.CloseUSB();
    m_link.OpenUSB();
    return {m_link.DevicePresent() && m_link.USBTestComm() == 5, std::nullopt};
}
void UsbAnalyzerLink::startForTest() {
    if (!m_link.DevicePresent()) return;
    if (!m_link.Sampling) m_link.USBStartSampling();
    m_link.USBInitBuffer();
}
void UsbAnalyzerLink::quiet() {
    if (m_link.Sampling) m_link.USBStopSampling();
    if (m_link.DevicePresent()) m_link.CloseUSB();
}
void UsbAnalyzerLink::stopForCalibration() {
    if (m_link.Sampling) m_link.USBStopSampling();
}
void UsbAnalyzerLink::stopOnCommand() {
    if (m_link.Sampling) m_link.USBStopSampling();
}
void UsbAnalyzerLink::shutDown() {
    if (m_link.Sampling) m_link.USBStopSampling();
    m_link.waits().BusyWait(300);
    if (m_link.DevicePresent()) m_link.CloseUSB();
}
// The only wait for the reader thread, bounded: it notices the stop within one read.
void UsbAnalyzerLink::finish(int boundMs) {
    if (UsbReaderControl* reader = m_link.reader();
        reader && !reader->shutdown(std::chrono::milliseconds(boundMs)))
        m_link.log().AddDebugLine("USB reader still reading at exit");
}

// --- COM ---

LinkResult ComAnalyzerLink::resultOf(int testComm) {
    switch (testComm) {
    case 0:
        return LinkResult::Ok;
    case 1:
        return LinkResult::NotOpen;
    case 2:
        return LinkResult::Timeout;
    default:
        return LinkResult::WrongReply;
    }
}

bool ComAnalyzerLink::LinkValid() const {
    return m_link.LinkValid;
}
void ComAnalyzerLink::clearLinkValid() {
    m_link.LinkValid = false;
}
bool ComAnalyzerLink::Sampling() const {
    return m_link.Sampling;
}
std::string ComAnalyzerLink::sourceInUse(const std::string& sourceName) const {
    return m_portInUse.empty() ? sourceName : m_portInUse;
}
LinkStatus ComAnalyzerLink::status(const std::string& sourceName,
                                   const std::string& serialNumber) const {
    if (m_link.LinkValid) return {sourceInUse(sourceName) + " on " + serialNumber, false};
    return {"Error on " + sourceInUse(sourceName), true};
}
std::string ComAnalyzerLink::port() const {
    return m_portInUse.empty() ? m_link.PortName : m_portInUse;
}
bool ComAnalyzerLink::open() {
    return m_link.OpenComm(port());
}
LinkResult ComAnalyzerLink::test() {
    return resultOf(m_link.TestComm(port()));
}
void ComAnalyzerLink::reset() {
    m_link.SendChar(cmd::ResetAnalyzer);
}
bool ComAnalyzerLink::receiveCalibration(std::string& image) {
    return m_link.ReceiveCal(image);
}
bool ComAnalyzerLink::sendCalibration(const std::string& image) {
    if (!m_link.LinkValid || !m_link.portOpen()) return false;
    m_link.SendCal(image);
    return true;
}
void ComAnalyzerLink::startSampling() {
    m_link.StopComm();
    m_link.waits().BusyWait(500);
    m_link.ClearInput(true);
    m_link.StartComm();
}
void ComAnalyzerLink::stopSampling() {
    m_link.StopComm();
}
void ComAnalyzerLink::setRange(int rangeIndex) {
    m_link.SendRange(rangeIndex);
}
void ComAnalyzerLink::close() {
    m_link.SerialPortOFF();
}
int ComAnalyzerLink::samplesWaiting() const {
    return m_link.RxCount() / 2;
}
int ComAnalyzerLink::GetSample() {
    return m_link.GetSample();
}
std::uint64_t ComAnalyzerLink::dataErrors() const {
    return m_link.dataErrors();
}
void ComAnalyzerLink::clearErrorCount() {
    m_link.errors().ErrorCount = 0;
}
// A valid link goes on where it is; otherwise the named port is tried first again.
void ComAnalyzerLink::chosen() {
    if (m_link.LinkValid) return;
    m_link.SerialPortOFF();
    m_portInUse.clear();
}
// A port the operator named stays in the setup: when it does not answer, this run searches
// ("COM") and uses what it finds, and the next start tries the named port again. A port found
// for "COM" becomes the source.
FoundAnalyzer ComAnalyzerLink::findAnalyzer(const std::string& sourceName) {
    const std::string port = m_link.portToTest(sourceInUse(sourceName));
    FoundAnalyzer result;
    result.found = m_link.TestComm(port) == 0;
    const std::string named = trimText(sourceName);
    const bool portNamed = !named.empty() && named[0] == '/';
    if (result.found && (!portNamed || port == named)) {
        result.sourceName = port;
        m_portInUse.clear();
    } else {
        m_portInUse = result.found ? port : "COM";
    }
    return result;
}
void ComAnalyzerLink::startForTest() {
    if (!m_link.portOpen()) return;
    m_link.ClearInput(false);
    m_link.StartComm();
}
void ComAnalyzerLink::quiet() {
    if (m_link.Sampling) m_link.StopComm();
    if (m_link.portOpen()) m_link.SerialPortOFF();
}
void ComAnalyzerLink::stopForCalibration() {
    if (m_link.portOpen()) m_link.StopComm();
}
void ComAnalyzerLink::stopOnCommand() {
    m_link.StopComm();
}
void ComAnalyzerLink::shutDown() {
    m_link.StopComm();
}

} // namespace qarn3
