#pragma once

#include <cstdint>

namespace qarn3 {

class ComLink;
class UsbLink;

// The selected link as the measurement engine and the range and start routines see it.
class AnalyzerLink {
public:
    virtual ~AnalyzerLink() = default;
    virtual bool LinkValid() const = 0;
    virtual void clearLinkValid() = 0;
    virtual bool Sampling() const = 0;
    // Whole samples waiting: the unread character count (in the link's own width) halved.
    virtual int samplesWaiting() const = 0;
    virtual int GetSample() = 0;
    // Samples lost on the way (a full ring or chunk queue) and pairs rejected for their
    // framing, counted since the link was made; never goes down.
    virtual std::uint64_t dataErrors() const { return 0; }
    // After each sample taken (the USB reader's ReadLife is refilled).
    virtual void sampleTaken() {}
    virtual void stopSampling() = 0;
    // Tells the analyzer the range (restarting sampling).
    virtual void sendRange(int rangeIndex) = 0;
    // Restarts the stream for a test, from clean buffers.
    virtual void startForTest() = 0;
};

// The USB link behind the engine's view.
class UsbAnalyzerLink : public AnalyzerLink {
public:
    explicit UsbAnalyzerLink(UsbLink& link) : m_link(link) {}
    bool LinkValid() const override;
    void clearLinkValid() override;
    bool Sampling() const override;
    int samplesWaiting() const override;
    int GetSample() override;
    std::uint64_t dataErrors() const override;
    void sampleTaken() override;
    void stopSampling() override;
    void sendRange(int rangeIndex) override;
    void startForTest() override;

private:
    UsbLink& m_link;
};

// The COM link behind the engine's view.
class ComAnalyzerLink : public AnalyzerLink {
public:
    explicit ComAnalyzerLink(ComLink& link) : m_link(link) {}
    bool LinkValid() const override;
    void clearLinkValid() override;
    bool Sampling() const override;
    int samplesWaiting() const override;
    int GetSample() override;
    std::uint64_t dataErrors() const override;
    void stopSampling() override;
    void sendRange(int rangeIndex) override;
    void startForTest() override;

private:
    ComLink& m_link;
};

// No analyzer: never valid, never sampling.
class NoAnalyzerLink : public AnalyzerLink {
public:
    bool LinkValid() const override { return false; }
    void clearLinkValid() override {}
    bool Sampling() const override { return false; }
    int samplesWaiting() const override { return 0; }
    int GetSample() override { return 0; }
    void stopSampling() override {}
    void sendRange(int) override {}
    void startForTest() override {}
};

} // namespace qarn3
