#include "app/analyzerlinks.h"

#include "calsetup/setup.h"
#include "link/comlink.h"
#include "link/usblink.h"
#include "link/usbreader.h"

namespace qarn3 {

AnalyzerLinks::AnalyzerLinks(const Parts& parts) {
    m_usb = std::make_unique<UsbLink>(parts.usbApi, parts.waits, parts.log, parts.dialogs);
    m_usb->setRegistry(parts.registry);
    UsbReaderControl* reader = parts.usbReader;
    if (!reader) {
        m_ownReader = std::make_unique<UsbReader>(*m_usb);
        reader = m_ownReader.get();
    }
    m_usb->setReader(reader);
    m_com = std::make_unique<ComLink>(parts.serialPort, parts.waits, parts.log, parts.dialogs);
    m_com->setRegistry(parts.registry);
    m_usbLink = std::make_unique<UsbAnalyzerLink>(*m_usb);
    m_comLink = std::make_unique<ComAnalyzerLink>(*m_com);
    // A demonstration quiets them in this order.
    m_analyzers = {m_usbLink.get(), m_comLink.get()};
}

AnalyzerLinks::~AnalyzerLinks() {
    m_usb->setReader(nullptr);
}

AnalyzerLink& AnalyzerLinks::forSource(std::uint8_t sourceKind) {
    if (sourceKind == kSourceUsb) return *m_usbLink;
    if (sourceKind == kSourceCom) return *m_comLink;
    return m_none;
}

} // namespace qarn3
