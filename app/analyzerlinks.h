#pragma once

#include "link/analyzerlink.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qarn3 {

class ComLink;
class DebugLog;
class DialogService;
class MpusbApi;
class RegistryView;
class SerialPort;
class UsbLink;
class UsbReader;
class UsbReaderControl;
class Waits;

// The program's links to the analyzer, one for each source kind of the setup: the USB link
// with its reader thread, the COM link on the serial port, and none. Made by main (tests make
// their own, with fake transports) and handed to the program, which chooses among them.
class AnalyzerLinks : public LinkChoice {
public:
    struct Parts {
        Parts(MpusbApi& api, SerialPort* port, Waits& w, DebugLog& l, DialogService& d)
            : usbApi(api), serialPort(port), waits(w), log(l), dialogs(d) {}
        MpusbApi& usbApi;
        SerialPort* serialPort; // none: the COM link has no port
        Waits& waits;
        DebugLog& log;
        DialogService& dialogs;
        const RegistryView* registry = nullptr; // where the analyzer is looked up
        UsbReaderControl* usbReader = nullptr;  // none: a reader thread of the links' own
    };
    explicit AnalyzerLinks(const Parts& parts);
    ~AnalyzerLinks() override;
    AnalyzerLinks(const AnalyzerLinks&) = delete;
    AnalyzerLinks& operator=(const AnalyzerLinks&) = delete;

    AnalyzerLink& forSource(std::uint8_t sourceKind) override;
    const std::vector<AnalyzerLink*>& analyzers() const override { return m_analyzers; }

    UsbLink& usb() { return *m_usb; }
    ComLink& com() { return *m_com; }
    // The reader thread the links made (none when given one).
    UsbReader* reader() { return m_ownReader.get(); }

private:
    std::unique_ptr<UsbLink> m_usb;
    std::unique_ptr<UsbReader> m_ownReader; // destroyed before the link it reads
    std::unique_ptr<ComLink> m_com;
    std::unique_ptr<UsbAnalyzerLink> m_usbLink;
    std::unique_ptr<ComAnalyzerLink> m_comLink;
    NoAnalyzerLink m_none;
    std::vector<AnalyzerLink*> m_analyzers;
};

} // namespace qarn3
