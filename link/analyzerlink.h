#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

class ComLink;
class UsbLink;

// How a link step ended, the same for every link.
enum class LinkResult { Ok, NoDevice, NotOpen, Timeout, WrongReply };

// What status panel 2 says of a link, and whether the link is in error (the button then
// offers RESET and the status bar turns red).
struct LinkStatus {
    std::string text;
    bool error = false;
};

// One pass of the start-up's hardware check.
struct FoundAnalyzer {
    bool found = false;
    // When set, the setup keeps this as its source name (the serial port found).
    std::optional<std::string> sourceName;
};

// The analyzer as the program and the engine reach it: the steps every link has, the
// samples, and what the program's commands ask of the link. Three kinds implement it: the USB
// link, the COM link and a demonstration playing a file (and a stand-in for no source). The
// steps a link without an analyzer lacks do nothing and report no device.
class AnalyzerLink {
public:
    virtual ~AnalyzerLink() = default;

    // --- state ---
    // The analyzer passed the link test on this link (the engine clears it on a lost stream).
    virtual bool LinkValid() const = 0;
    virtual void clearLinkValid() {}
    // The stream was started and not stopped.
    virtual bool Sampling() const = 0;
    // An analyzer is reached through this link: its calibration is read from it and a RESET
    // after a lost link checks the hardware again.
    virtual bool reachesAnalyzer() const { return true; }
    // Samples arrive in real time: a tick that finds none while sampling means a stall.
    virtual bool realTime() const { return true; }
    // A test starts on RUN (a demonstration), not by itself when current flows.
    virtual bool startsOnRun() const { return false; }
    // What status panel 2 says, given the setup's source name and the analyzer's serial number.
    virtual LinkStatus status(const std::string& sourceName,
                              const std::string& serialNumber) const = 0;
    // The source name this run uses: the setup's, or a serial port found instead.
    virtual std::string sourceInUse(const std::string& sourceName) const { return sourceName; }

    // --- the steps every link has ---
    virtual bool open() { return false; }
    virtual LinkResult test() { return LinkResult::NoDevice; }
    // Resets the analyzer (the command 0x1A).
    virtual void reset() {}
    virtual bool receiveCalibration(std::string& /*image*/) { return false; }
    // Offers the image to the analyzer (the operator confirms first); false when no analyzer
    // is connected to take it.
    virtual bool sendCalibration(const std::string& /*image*/) { return false; }
    // Starts the stream after the start-up.
    virtual void startSampling() {}
    virtual void stopSampling() {}
    // Tells the analyzer the range (restarting the stream).
    virtual void setRange(int /*rangeIndex*/) {}
    virtual void close() {}

    // --- the samples ---
    // Whole samples waiting.
    virtual int samplesWaiting() const { return 0; }
    // The next sample; 0 when none or on a receive error.
    virtual int GetSample() { return 0; }
    // Samples lost on the way and pairs rejected for their framing, counted since the link
    // was made; never goes down.
    virtual std::uint64_t dataErrors() const { return 0; }
    // The receive error count the status windows show starts again from 0 (a reset).
    virtual void clearErrorCount() {}

    // --- what the program's commands ask of the link ---
    // Chosen as the source again by the start-up: a link that is not valid closes, to be
    // found anew.
    virtual void chosen() {}
    // One pass of the hardware check for the setup's source name.
    virtual FoundAnalyzer findAnalyzer(const std::string& /*sourceName*/) { return {}; }
    // Restarts the stream for a test, from clean buffers (Start, RUN).
    virtual void startForTest() {}
    // The engine's test ended, or was reset.
    virtual void testEnded() {}
    virtual void testReset() {}
    // A demonstration begins: the stream stops and the link closes.
    virtual void quiet() {}
    // The calibration window is about to talk to the analyzer.
    virtual void stopForCalibration() {}
    // The Stop Sampling command.
    virtual void stopOnCommand() {}
    // Program exit: the stream stops and the link closes.
    virtual void shutDown() {}
    // Program exit, after every link's shutDown: threads end, waited for at most boundMs.
    virtual void finish(int /*boundMs*/) {}
};

// The USB link behind the interface (the routines of UsbLink: OpenUSB, USBTestComm, ...).
class UsbAnalyzerLink : public AnalyzerLink {
public:
    explicit UsbAnalyzerLink(UsbLink& link) : m_link(link) {}
    UsbLink& usb() { return m_link; }

    bool LinkValid() const override;
    void clearLinkValid() override;
    bool Sampling() const override;
    LinkStatus status(const std::string& sourceName,
                      const std::string& serialNumber) const override;
    bool open() override;
    LinkResult test() override;
    void reset() override;
    bool receiveCalibration(std::string& image) override;
    bool sendCalibration(const std::string& image) override;
    void startSampling() override;
    void stopSampling() override;
    void setRange(int rangeIndex) override;
    void close() override;
    int samplesWaiting() const override;
    // The next sample; the reader's ReadLife is refilled after each.
    int GetSample() override;
    std::uint64_t dataErrors() const override;
    void clearErrorCount() override;
    void chosen() override;
    FoundAnalyzer findAnalyzer(const std::string& sourceName) override;
    void startForTest() override;
    void quiet() override;
    void stopForCalibration() override;
    void stopOnCommand() override;
    void shutDown() override;
    void finish(int boundMs) override;

    // USBTestComm's results (1 no device, 2 open failed, 3 time-out, 4 wrong character,
    // 5 passed) as the interface says them.
    static LinkResult resultOf(int usbTestComm);

private:
    UsbLink& m_link;
};

// The COM link behind the interface (the routines of ComLink: OpenComm, TestComm, ...). It
// keeps the port this run uses when that is not the setup's source name: "COM" while a port
// the operator named does not answer, then the port the search found.
class ComAnalyzerLink : public AnalyzerLink {
public:
    explicit ComAnalyzerLink(ComLink& link) : m_link(link) {}
    ComLink& com() { return m_link; }

    bool LinkValid() const override;
    void clearLinkValid() override;
    bool Sampling() const override;
    LinkStatus status(const std::string& sourceName,
                      const std::string& serialNumber) const override;
    std::string sourceInUse(const std::string& sourceName) const override;
    bool open() override;
    LinkResult test() override;
    void reset() override;
    bool receiveCalibration(std::string& image) override;
    bool sendCalibration(const std::string& image) override;
    void startSampling() override;
    void stopSampling() override;
    void setRange(int rangeIndex) override;
    void close() override;
    int samplesWaiting() const override;
    int GetSample() override;
    std::uint64_t dataErrors() const override;
    void clearErrorCount() override;
    void chosen() override;
    FoundAnalyzer findAnalyzer(const std::string& sourceName) override;
    void startForTest() override;
    void quiet() override;
    void stopForCalibration() override;
    void stopOnCommand() override;
    void shutDown() override;

    // TestComm's results (0 passed, 1 port not open, 2 time-out, 3 wrong character) as the
    // interface says them.
    static LinkResult resultOf(int testComm);

private:
    // The port open() and test() use: the one in use, else the last one found.
    std::string port() const;

    ComLink& m_link;
    std::string m_portInUse; // empty: the setup's source name
};

// No source: no analyzer, never valid, never sampling.
class NoAnalyzerLink : public AnalyzerLink {
public:
    bool LinkValid() const override { return false; }
    bool Sampling() const override { return false; }
    bool reachesAnalyzer() const override { return false; }
    LinkStatus status(const std::string& sourceName, const std::string&) const override {
        return {"Error on " + sourceName, true};
    }
};

// The links the program chooses its source from, one for each source kind of the setup, and
// every link to an analyzer in the order a demonstration quiets them.
class LinkChoice {
public:
    virtual ~LinkChoice() = default;
    virtual AnalyzerLink& forSource(std::uint8_t sourceKind) = 0;
    virtual const std::vector<AnalyzerLink*>& analyzers() const = 0;
};

} // namespace qarn3
