#include "link/comlink.h"

#include "diag/debuglog.h"
#include "diag/waits.h"
#include "link/calexchange.h"
#include "platform/dialogs.h"

namespace qarn3 {

ComLink::ComLink(SerialPort* serial, Waits& waits, DebugLog& log, DialogService& dialogs)
    : m_serial(serial), m_waits(waits), m_log(log), m_dialogs(dialogs) {
    if (!m_serial) return;
    m_serial->OnRxClusterEvent = [this](SerialPort&) { RxClusterReceived(); };
    m_serial->OnProcessError = [this](SerialPort&, std::uint32_t place, std::uint32_t,
                                      const std::string& msg, std::uint8_t) {
        ProcessErrorReceived(msg);
        // While sampling, the engine's no-data watchdog ends the test and clears the link.
        // Stopped (calibrating, Stop Sampling), nothing would notice that the port is gone,
        // and the next test would wait armed for a stream that cannot come.
        if (place == serialplace::HungUp && !Sampling) LinkValid = false;
    };
}

ComLink::~ComLink() {
    if (!m_serial) return;
    m_serial->OnRxClusterEvent = nullptr;
    m_serial->OnProcessError = nullptr;
}

bool ComLink::OpenComm(const std::string& port) {
    m_log.AddDebugLine("OpenComm " + port);
    if (!m_serial) return false;
    m_serial->SetCommPort(port);
    m_serial->SetBaudRate(kComBaudRate);
    m_serial->SetParityType(0);
    m_serial->SetStopBits(0);
    m_serial->SetDataBits(8);
    m_serial->SetFlowControl(0);
    m_serial->SetStripNullChars(false);
    m_serial->SetXTOAuto(true);
    m_serial->SetActive(true);
    m_serial->SetRxQueueSize(kComRxQueueSize);
    if (!m_serial->Active()) return false;
    m_serial->ClearTxDQueue();
    m_serial->SetClusterSize(kComClusterSize);
    return true;
}

void ComLink::SerialPortOFF() {
    m_log.AddDebugLine("SerialPortOFF ");
    if (Sampling) StopComm();
    ClearInput(true);
    if (m_serial) m_serial->SetActive(false);
}

void ComLink::ClearInput(bool log) {
    if (log) m_log.AddDebugLine("ClearInput ");
    if (!m_serial) return;
    for (int i = 0; i < 10 && m_serial->SendInProgress(); ++i) {
        m_log.AddDebugLine("ClearInput Delay ");
        m_waits.TimerWait(100);
    }
    m_waits.BusyWait(100);
    m_serial->ClearRxDQueue();
    m_ring.clear();
    const int next = m_serial->NextClusterSize();
    RxDataCount = next < 0 ? 0 : next;
}

void ComLink::SendStr(const std::string& text) {
    if (!m_serial) return;
    for (int i = 0; i < 10 && m_serial->SendInProgress(); ++i) {
        m_log.AddDebugLine("SendStr Delay ");
        m_waits.TimerWait(100);
    }
    m_serial->SendString(text);
}

void ComLink::StopComm() {
    m_log.AddDebugLine("StopComm ");
    SendChar(cmd::StopSampling);
    Sampling = false;
}

void ComLink::StartComm() {
    m_log.AddDebugLine("StartComm ");
    if (!LinkValid) return;
    m_waits.BusyWait(100);
    ClearInput(false);
    SendChar(cmd::StartSampling);
    Sampling = true;
}

void ComLink::SendRange(int rangeIndex) {
    const std::uint8_t code = rangeCode(rangeIndex);
    m_log.AddDebugLine(std::string("Send Range ") + static_cast<char>(code));
    if (!portOpen()) return;
    if (Sampling) StopComm();
    SendChar(code);
    ClearInput(false);
    StartComm();
}

int ComLink::TestComm(const std::string& port) {
    m_log.AddDebugLine("TestComm " + port);
    int result;
    if (!portOpen()) OpenComm(port);
    if (!portOpen()) {
        result = 1;
    } else {
        StopComm();
        ClearInput(false);
        m_log.AddDebugLine("Sending CR ");
        SendChar(cmd::CarriageReturn);
        m_waits.BusyWait(100);
        m_log.AddDebugLine("CommCharCount=" + std::to_string(m_ring.RxCount()));

        m_log.AddDebugLine("Clearing Input ");
        ClearInput(false);
        m_waits.BusyWait(100);

        SendStr(kTestString);
        m_log.AddDebugLine("Sent test string ");
        for (int i = 0; i < 10 && m_ring.RxCount() < 1; ++i)
            m_waits.TimerWait(100);

        if (m_ring.RxCount() < 1) {
            m_log.AddDebugLine("Comm Test Timeout");
            LinkValid = false;
            result = 2;
        } else {
            m_log.AddDebugLine("Received test characters ");
            // The echo "A\r" ends the reply, so its "A" is the second-to-last character. With
            // a single character there is no second-to-last one and the test cannot pass.
            const bool hasEcho = m_ring.RxCount() >= 2;
            const std::uint8_t c = m_ring.recent(hasEcho ? 2 : 1);
            if (hasEcho && c == 'A') {
                LinkValid = true;
                result = 0;
            } else {
                m_log.AddDebugLine(std::string("Wrong test char ") + static_cast<char>(c));
                LinkValid = false;
                result = 3;
            }
        }
    }
    m_log.AddDebugLine("End TestComm ");
    return result;
}

void ComLink::SendCal(const std::string& image) {
    m_log.AddDebugLine("SendCal ");
    if (!portOpen()) return;
    const std::string s = calWriteString(image);
    if (!confirmCalWrite(m_dialogs)) return;
    SendStr(s);
    m_waits.TimerWait(300);
}

bool ComLink::ReceiveCal(std::string& image) {
    m_log.AddDebugLine("ReceiveCal ");
    bool result = false;
    if (!portOpen()) return false;
    StopComm();
    ClearInput(false);
    m_waits.TimerWait(100);
    SendChar(cmd::SendCalImage);
    m_waits.TimerWait(100);
    if (const auto read = pollCalImage(m_ring, m_log, [this](int ms) { m_waits.TimerWait(ms); })) {
        image = *read;
        result = true;
    }
    m_log.AddDebugLine("End ReceiveCal ");
    return result;
}

std::uint64_t ComLink::dataErrors() const {
    const std::uint64_t lostChars = m_ring.lost() + (m_serial ? m_serial->DroppedBytes() : 0);
    return (lostChars + 1) / 2 + m_ring.rejected();
}

bool ComLink::DiscoveryReplyOK() const {
    return m_ring.RxCount() > 200 && m_ring.peek(5) == '1';
}

void ComLink::RxClusterReceived() {
    if (!m_serial) return;
    const int clusterSize = m_serial->ClusterSize();
    if (m_serial->NextClusterSize() < 0) return;
    TSerialCluster chunk;
    if (!m_serial->TakeCluster(chunk)) return;
    if (chunk.lineError != 0) m_errors.countError();
    const auto size = static_cast<std::int32_t>(chunk.data.size());
    RxDataCount = size;
    if (MaxRxData < size) MaxRxData = size;
    if (size >= static_cast<std::int32_t>(m_serial->RxQueueSize()) - clusterSize) {
        m_errors.countError();
        m_errors.RxErrorFlags |= rxerr::BufferMax;
    }
    m_ring.putBlock(chunk.data.data(), chunk.data.size());
}

} // namespace qarn3
