#include "link/analyzersim.h"

#include "link/protocol.h"
#include "link/ptyanalyzer.h"
#include "link/rxring.h"

#include "fake_owners.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace qarn3;

namespace {

// Decodes everything the simulator has put out so far.
std::vector<int> decodeAll(AnalyzerSimulator& sim) {
    ComRxRing ring;
    const std::string out = sim.take();
    ring.putBlock(reinterpret_cast<const std::uint8_t*>(out.data()), out.size());
    RxErrorState errors;
    std::vector<int> samples;
    while (ring.RxCount() >= 2)
        samples.push_back(ring.GetSample(errors));
    EXPECT_EQ(errors.ErrorCount, 0);
    return samples;
}

} // namespace

TEST(AnalyzerSimulator, DefaultImageIsAValidCalibrationImage) {
    const std::string image = simulatorCalImage();
    ASSERT_EQ(image.size(), 128u);
    EXPECT_EQ(image[8], '\r'); // what the program checks on receiving
    EXPECT_EQ(image.substr(109, 12), "SIM0000001\r\n");
}

TEST(AnalyzerSimulator, WrittenImageIsWhatTheNextReadReturns) {
    AnalyzerSimulator sim;
    const std::string image(128, '7');
    sim.receive(calWriteString(image), 0);
    EXPECT_EQ(sim.writtenImage, image);
    sim.receive(std::string(1, static_cast<char>(cmd::SendCalImage)), 100);
    sim.advance(200);
    EXPECT_EQ(sim.take(), image);
}

TEST(AnalyzerSimulator, StreamsTheCountsAtRealRateRoundedToTheWireSteps) {
    AnalyzerSimulator sim;
    sim.sample = playCounts({5, -7, 2047, -3000, 400});
    sim.receive(std::string(1, static_cast<char>(cmd::StartSampling)), 1000);
    sim.advance(1000 + 2); // 2 ms: 9.6 characters are due, so 4 whole pairs
    // Counts travel in steps of 4 and the converter saturates at -2048 and 2044.
    EXPECT_EQ(decodeAll(sim), (std::vector<int>{4, -8, 2044, -2048}));
    sim.advance(1000 + 1000);
    EXPECT_EQ(decodeAll(sim).size(), 2400u - 4u); // one second in all, zeros after the counts
}

TEST(AnalyzerSimulator, StalledReaderLosesWholePairsAndStaysInStep) {
    AnalyzerSimulator sim;
    sim.outputLimit = 100;
    sim.sample = [](std::int64_t i) { return static_cast<int>(i % 10) * 4; };
    sim.receive(std::string(1, static_cast<char>(cmd::StartSampling)), 0);
    sim.advance(3'600'000); // an hour with nobody reading
    EXPECT_EQ(sim.available(), 100u);
    EXPECT_EQ(sim.droppedChars, 3600 * 4800 - 100);
    EXPECT_EQ(decodeAll(sim).size(), 50u);
    sim.advance(3'600'001); // reading again: the stream goes on in step
    EXPECT_EQ(decodeAll(sim).size(), 2u);
}

TEST(AnalyzerSimulator, SilenceLosesTheStreamInsteadOfCatchingUp) {
    AnalyzerSimulator sim;
    sim.sample = [](std::int64_t i) { return static_cast<int>(i % 10) * 4; };
    sim.receive(std::string(1, static_cast<char>(cmd::StartSampling)), 0);
    sim.advance(100);
    EXPECT_EQ(decodeAll(sim).size(), 240u);
    sim.silent = true;
    sim.advance(5000);
    EXPECT_EQ(sim.available(), 0u);
    sim.silent = false;
    sim.advance(5100); // only what fell due after the silence
    const std::vector<int> after = decodeAll(sim);
    ASSERT_EQ(after.size(), 240u);
    EXPECT_EQ(after.front(), (12000 % 10) * 4); // sample 12000 is the first after 5 s
}

TEST(AnalyzerSimulator, TheTerminalLinkReplacesOnlyASymbolicLink) {
    namespace fs = std::filesystem;
    PtyAnalyzer pty;
    std::string error;
    ASSERT_TRUE(pty.open(error)) << error;
    const fs::path dir =
        fs::temp_directory_path() / ("qarn3-simlink-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);

    // A file that happens to be named keeps its content.
    const fs::path file = dir / "QARN3.osf";
    std::ofstream(file) << "setup";
    EXPECT_FALSE(pty.linkTerminal(file.string(), error));
    EXPECT_FALSE(fs::is_symlink(file));
    std::string content;
    std::ifstream(file) >> content;
    EXPECT_EQ(content, "setup");

    // A fresh name, and a stale link left by an earlier run, point at the terminal.
    const fs::path fresh = dir / "analyzer";
    ASSERT_TRUE(pty.linkTerminal(fresh.string(), error)) << error;
    EXPECT_EQ(fs::read_symlink(fresh), pty.path());
    const fs::path stale = dir / "stale";
    fs::create_symlink("/dev/pts/nonexistent", stale);
    ASSERT_TRUE(pty.linkTerminal(stale.string(), error)) << error;
    EXPECT_EQ(fs::read_symlink(stale), pty.path());

    // Another user's link (in the temporary folder, say) stays theirs.
    const fs::path theirs = dir / "theirs";
    fs::create_symlink("/dev/pts/theirs", theirs);
    test::FakeOwners owners;
    owners.ownerOf[theirs.string()] = test::kOtherUser;
    EXPECT_FALSE(pty.linkTerminal(theirs.string(), error, owners));
    EXPECT_EQ(error, "cannot link " + theirs.string() +
                         ": a link of another user (uid 4242), left as it is");
    EXPECT_EQ(fs::read_symlink(theirs), "/dev/pts/theirs");
    fs::remove_all(dir);
}
