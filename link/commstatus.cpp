// The logic of the "Communication Status" window: its timer, buttons and mask entry.
#include "link/comlink.h"

#include "diag/debuglog.h"
#include "platform/registry.h"
#include "platform/textformat.h"

#include <optional>

namespace qarn3 {

namespace {

// Upper-case hexadecimal without leading zeros.
std::string hex(std::uint32_t v) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    return s;
}

std::optional<std::uint32_t> parseHex(const std::string& text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return v;
}

} // namespace

void ComLink::FormCreate() {
    m_log.AddDebugLine("FormCreate Comm ");
    ErrorMask = 255;
    m_errors = RxErrorState{};
    LoggedErrorCount = 0;
    RxDataCount = 0;
    MaxRxData = 0;
    LinkValid = false;
    Sampling = false;
    m_log.AddDebugLine("End FormCreate Comm ");
}

void ComLink::ProcessErrorReceived(const std::string& msg) {
    if (m_statusView) m_statusView->addErrorLine(msg);
}

void ComLink::CommTimerTick() {
    if (!m_serial) return;
    if (portOpen() && Sampling) {
        if (m_statusView)
            m_statusView->showBoxes(std::to_string(m_errors.ErrorCount),
                                    std::to_string(RxDataCount), hex(m_serial->CommError()),
                                    std::to_string(MaxRxData));
        const auto line = [this](const std::string& text) {
            if (m_statusView) m_statusView->addErrorLine(text);
        };
        const std::uint8_t flags = m_errors.RxErrorFlags;
        if (flags & rxerr::FirstChar)
            line("Error Type = FirstChar [" + hex(m_errors.BadFirstChar) + "]");
        if (flags & rxerr::SecondChar)
            line("Error Type = SecondChar [" + hex(m_errors.BadSecondChar) + "]");
        if (flags & rxerr::CharMatch)
            line("Error Type = CharMatch[" + hex(m_errors.BadSecondChar) + "]");
        if (flags & rxerr::BufferMax) {
            line("Error Type = BufferMax");
            StopComm();
        }
        m_errors.RxErrorFlags = 0;
        m_errors.BadFirstChar = 0;
        m_errors.BadSecondChar = 0;
    }
    // A bad link raises errors at every tick: one line at most every kRxErrorLineTicks ticks,
    // so that the trace keeps its other lines.
    if (m_ticksSinceRxErrorLine < kRxErrorLineTicks) ++m_ticksSinceRxErrorLine;
    if (m_errors.ErrorCount < LoggedErrorCount) LoggedErrorCount = 0; // the count was reset
    if (m_errors.ErrorCount > LoggedErrorCount && m_ticksSinceRxErrorLine >= kRxErrorLineTicks) {
        m_log.AddDebugLine("**RxError: ");
        LoggedErrorCount = m_errors.ErrorCount;
        m_ticksSinceRxErrorLine = 0;
    }
}

void ComLink::ClearClick() {
    m_errors.ErrorCount = 0;
    LoggedErrorCount = 0;
    MaxRxData = 0;
}

std::string ComLink::MaskBoxChange(const std::string& text) {
    ErrorMask = parseHex(text).value_or(255);
    return hex(ErrorMask);
}

void ComLink::PortsClick() {
    if (!m_registry) {
        m_log.AddDebugLine("Error creating Reg ");
        return;
    }
    const std::string key = std::string(kUsbEnumKey) + "\\" + kAnalyzerUsbDevice + "\\" +
                            kDiscoveryCandidates[0].serial;
    m_log.AddDebugLine("Key: " + key);
    const auto add = [this](const std::string& text) {
        if (m_statusView) m_statusView->addErrorLine(text);
    };
    if (m_registry->keyExists(key)) {
        if (m_statusView) m_statusView->clearErrorLines();
        for (const std::string& name : m_registry->subkeyNames(key))
            add(name);
        add("***Value Names***");
        for (const std::string& name : m_registry->valueNames(key))
            add(name);
        add(m_registry->stringValue(key, "FriendlyName").value_or(""));
        const std::string params = key + "\\Device Parameters";
        if (m_registry->keyExists(params))
            add(m_registry->stringValue(params, "PortName").value_or(""));
    } else {
        m_log.AddDebugLine("Key does not exist ");
    }
    std::vector<std::string> ports;
    EnumCommPorts(ports);
    for (const std::string& p : ports)
        add(trimText(p));
}

} // namespace qarn3
