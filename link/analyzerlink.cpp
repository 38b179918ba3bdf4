#include "link/analyzerlink.h"

#include "link/comlink.h"
#include "link/usblink.h"

namespace qarn3 {

bool UsbAnalyzerLink::LinkValid() const {
    return m_link.LinkValid;
}
void UsbAnalyzerLink::clearLinkValid() {
    m_link.LinkValid = false;
}
bool UsbAnalyzerLink::Sampling() const {
    return m_link.Sampling;
}
int UsbAnalyzerLink::samplesWaiting() const {
    return static_cast<int>(static_cast<std::uint16_t>(m_link.RxCount()) / 2);
}
int UsbAnalyzerLink::GetSample() {
    return m_link.GetSample();
}
std::uint64_t UsbAnalyzerLink::dataErrors() const {
    return m_link.dataErrors();
}
void UsbAnalyzerLink::sampleTaken() {
    m_link.ReadLife = kReadLifeFull;
}
void UsbAnalyzerLink::stopSampling() {
    m_link.USBStopSampling();
}
void UsbAnalyzerLink::sendRange(int rangeIndex) {
    m_link.USBSendRange(rangeIndex);
}
void UsbAnalyzerLink::startForTest() {
    if (!m_link.DevicePresent()) return;
    if (!m_link.Sampling) m_link.USBStartSampling();
    m_link.USBInitBuffer();
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
int ComAnalyzerLink::samplesWaiting() const {
    return m_link.RxCount() / 2;
}
int ComAnalyzerLink::GetSample() {
    return m_link.GetSample();
}
std::uint64_t ComAnalyzerLink::dataErrors() const {
    return m_link.dataErrors();
}
void ComAnalyzerLink::stopSampling() {
    m_link.StopComm();
}
void ComAnalyzerLink::sendRange(int rangeIndex) {
    m_link.SendRange(rangeIndex);
}
void ComAnalyzerLink::startForTest() {
    if (!m_link.portOpen()) return;
    m_link.ClearInput(false);
    m_link.StartComm();
}

} // namespace qarn3
