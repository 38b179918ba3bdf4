#include "waveform/cycles.h"

#include "platform/textformat.h"
#include "waveform/viewer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>
#include <random>

using namespace qarn3;

namespace {

constexpr double kPi = 3.14159265358979323846;

// amplitude × sin(2π hz t + phase) at 2400 samples a second, rounded to counts.
std::vector<std::int16_t> sine(int n, double hz, double amplitude, double phaseDeg = 0) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2 * kPi * hz * i / 2400 + phaseDeg * kPi / 180)));
    return s;
}

CycleTable cut(const std::vector<std::int16_t>& s, int first, int count, double mainsHz,
               float ampsPerCount = 0.0005f) {
    CycleInput in;
    in.samples = s.data();
    in.available = static_cast<std::int32_t>(s.size());
    in.first = first;
    in.count = count;
    in.ampsPerCount = ampsPerCount;
    in.sampleRate = 2400;
    in.mainsHz = mainsHz;
    return computeCycles(in);
}

// A worked waveform: where its rows must begin and which must be partial.
struct WorkedCase {
    const char* name;
    std::function<std::vector<std::int16_t>()> samples;
    int first, count;
    double mainsHz;
    std::vector<int> rowFirsts;
    std::vector<bool> partial;
    int slack = 0; // samples a cut may lie off rowFirsts (noise moves a crossing)
};

void PrintTo(const WorkedCase& c, std::ostream* os) {
    *os << c.name;
}

class WorkedWaveform : public ::testing::TestWithParam<WorkedCase> {};

TEST_P(WorkedWaveform, CutsAtRisingZerosAndAddsUp) {
    const WorkedCase& c = GetParam();
    const std::vector<std::int16_t> s = c.samples();
    const CycleTable t = cut(s, c.first, c.count, c.mainsHz);
    std::vector<bool> partial;
    double shares = 0, i2t = 0;
    ASSERT_EQ(t.rows.size(), c.rowFirsts.size());
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        const CycleRow& r = t.rows[i];
        EXPECT_NEAR(r.first, c.rowFirsts[i], c.slack) << "row " << i;
        partial.push_back(r.partial);
        shares += r.share;
        i2t += r.i2t;
        EXPECT_DOUBLE_EQ(r.start, r.first / 2400.0);
    }
    EXPECT_EQ(partial, c.partial);
    ASSERT_FALSE(t.rows.empty());
    EXPECT_EQ(t.rows.back().first + t.rows.back().count, c.first + c.count); // every sample
    EXPECT_NEAR(shares, 1.0, 1e-12);
    EXPECT_NEAR(i2t, t.totals.i2t, 1e-9 * t.totals.i2t);
    // The footer's RMS is the panel's for the same samples, to the last bit.
    EXPECT_EQ(t.totals.rms, samplesRms(s.data(), c.first, c.count, 0.0005f));
    EXPECT_NEAR(t.totals.i2t, static_cast<double>(t.totals.rms) * t.totals.rms * c.count / 2400.0,
                2e-7 * t.totals.i2t);
}

std::vector<std::int16_t> sine60() {
    return sine(400, 60, 2000);
}
std::vector<std::int16_t> sine50() {
    return sine(480, 50, 2000);
}
// A 50 Hz sine with a dip below zero at sample 21, so that it rises through zero again at
// sample 22 (9.2 ms after the crossing at 0): longer than half a 60 Hz period, shorter than
// half a 50 Hz one.
std::vector<std::int16_t> ringing50() {
    std::vector<std::int16_t> s = sine(480, 50, 1000);
    s[21] = -200;
    return s;
}
// Noise of up to 20 counts on a 1000-count sine flips the sign several times at each zero.
std::vector<std::int16_t> noisy60() {
    std::vector<std::int16_t> s = sine(400, 60, 1000);
    std::mt19937 rng(3);
    for (std::int16_t& v : s)
        v = static_cast<std::int16_t>(v + static_cast<int>(rng() % 41) - 20);
    return s;
}
// Two cycles of a 1000-count sine, then noise of 8 counts flipping sign at every sample.
std::vector<std::int16_t> noiseAfterTheCurrent() {
    std::vector<std::int16_t> s = sine(240, 60, 1000);
    for (std::size_t i = 80; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(i % 2 ? -8 : 8);
    return s;
}
// One cycle of a 1000-count sine, then small cycles of 45 counts: above the hysteresis the
// large first peak sets (1000 / 32), so each is still a cycle.
std::vector<std::int16_t> smallAfterLarge() {
    std::vector<std::int16_t> s = sine(40, 60, 1000);
    const std::vector<std::int16_t> small = sine(160, 60, 45);
    s.insert(s.end(), small.begin(), small.end());
    return s;
}
// 120 Hz on 60 Hz mains: each rising crossing lies exactly half a mains period after the last.
std::vector<std::int16_t> sine120() {
    return sine(200, 120, 1000);
}
// A direct current with a ripple: never below zero.
std::vector<std::int16_t> rippleDc() {
    std::vector<std::int16_t> s = sine(200, 60, 100);
    for (std::int16_t& v : s)
        v = static_cast<std::int16_t>(v + 500);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Waveforms, WorkedWaveform,
    ::testing::Values(WorkedCase{"Sine60WholeCycles",
                                 sine60,
                                 40,
                                 200,
                                 60,
                                 {40, 80, 120, 160, 200},
                                 {false, false, false, false, false}},
                      WorkedCase{"Sine50UnderFifty",
                                 sine50,
                                 48,
                                 192,
                                 50,
                                 {48, 96, 144, 192},
                                 {false, false, false, false}},
                      WorkedCase{"StartsAndEndsMidCycle",
                                 sine60,
                                 10,
                                 140,
                                 60,
                                 {10, 40, 80, 120},
                                 {true, false, false, true}},
                      WorkedCase{"CrossingJustAfterTheStartJoinsTheFirstRow",
                                 sine60,
                                 35,
                                 120,
                                 60,
                                 {35, 80, 120},
                                 {true, false, true}},
                      WorkedCase{"SmallCyclesAfterALargeFirstPeak",
                                 smallAfterLarge,
                                 0,
                                 160,
                                 60,
                                 {0, 40, 80, 120},
                                 {true, false, false, false}},
                      WorkedCase{"CrossingExactlyHalfAPeriodOnIsCut",
                                 sine120,
                                 20,
                                 100,
                                 60,
                                 {20, 40, 60, 80, 100},
                                 {false, false, false, false, false}},
                      WorkedCase{"NoCrossingIsOnePartialRow", rippleDc, 0, 200, 60, {0}, {true}},
                      WorkedCase{"DipCutsAtSixtyHertz",
                                 ringing50,
                                 0,
                                 192,
                                 60,
                                 {0, 22, 48, 96, 144},
                                 {true, false, false, false, false}},
                      WorkedCase{"DipJoinsItsCycleAtFiftyHertz",
                                 ringing50,
                                 0,
                                 192,
                                 50,
                                 {0, 48, 96, 144},
                                 {true, false, false, false}},
                      WorkedCase{"NoiseAtZeroCutsOncePerCycle",
                                 noisy60,
                                 20,
                                 320,
                                 60,
                                 {20, 40, 80, 120, 160, 200, 240, 280, 320},
                                 {true, false, false, false, false, false, false, false, true},
                                 1},
                      WorkedCase{"NoiseAfterTheCurrentEndsCutsNothing",
                                 noiseAfterTheCurrent,
                                 0,
                                 200,
                                 60,
                                 {0, 40, 80},
                                 {true, false, true}}),
    [](const ::testing::TestParamInfo<WorkedCase>& p) { return std::string(p.param.name); });

// A 20000-count sine at 0.00005 A per count (fine enough that rounding to counts stays below
// the fourth decimal): a peak of 1 A, so RMS 0.7071 A as the table shows it, and
// I²t = RMS² × time.
TEST(CycleTable, PureSineReadsPeakOverRootTwo) {
    for (const double hz : {60.0, 50.0}) {
        const int period = static_cast<int>(2400 / hz);
        const std::vector<std::int16_t> s = sine(period * 7, hz, 20000);
        const CycleTable t = cut(s, period, period * 5, hz, 0.00005f);
        ASSERT_EQ(t.rows.size(), 5u) << hz;
        for (std::size_t i = 0; i < t.rows.size(); ++i) {
            const int n = static_cast<int>(i);
            EXPECT_EQ(cycleCellText(t.rows[i], n, 0), std::to_string(n + 1));
            EXPECT_EQ(cycleCellText(t.rows[i], n, 1), formatFixed((n + 1) / hz, 0, 4));
            EXPECT_EQ(cycleCellText(t.rows[i], n, 2), "0.7071");
            EXPECT_EQ(cycleCellText(t.rows[i], n, 3), "1.0000");
            EXPECT_EQ(cycleCellText(t.rows[i], n, 4), "-1.0000");
            EXPECT_EQ(cycleCellText(t.rows[i], n, 5), "20.00");
        }
        EXPECT_NEAR(t.totals.i2t, 0.5 * 5 / hz, 1e-4 * t.totals.i2t);
        EXPECT_NEAR(t.totals.firstPeakRatio, 1.0, 1e-4);
        EXPECT_DOUBLE_EQ(t.totals.peak, 1.0);
    }
}

// A fault current with a decaying offset, A (sin(ωt - φ) + sin φ e^(-t/τ)), which starts at
// zero: the first cycle's positive peak stands above the rest by the offset, and the ratio of
// the first peak to √2 × RMS is what the formula gives.
TEST(CycleTable, DecayingOffsetRaisesTheFirstPeak) {
    const double amplitude = 1000, phi = 60 * kPi / 180, tau = 0.05, w = 2 * kPi * 60;
    std::vector<std::int16_t> s(40 * 8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / 2400;
        s[i] = static_cast<std::int16_t>(
            std::lround(amplitude * (std::sin(w * t - phi) + std::sin(phi) * std::exp(-t / tau))));
    }
    const CycleTable t = cut(s, 0, 40 * 6, 60, 0.1f);
    ASSERT_EQ(t.rows.size(), 6u);
    EXPECT_TRUE(t.rows.front().partial);
    // The positive peak of the first cycle falls near ωt - φ = π/2.
    const double tPeak = (kPi / 2 + phi) / w;
    const double firstPeak = 0.1 * amplitude * (1 + std::sin(phi) * std::exp(-tPeak / tau));
    EXPECT_NEAR(t.rows[0].peakPos, firstPeak, 0.01 * firstPeak);
    for (std::size_t i = 1; i < t.rows.size(); ++i)
        EXPECT_LT(t.rows[i].peakPos, t.rows[i - 1].peakPos) << i;
    EXPECT_LT(-t.rows[0].peakNeg, t.rows[0].peakPos * 0.8); // the offset lifts the whole cycle
    // RMS² over the span: the mean of (sin(ωt - φ) + D e^(-t/τ))², D = sin φ, over T = 0.1 s
    // (six whole cycles): 1/2, plus 2D times the mean of sin(ωt - φ) e^(-t/τ), whose integral
    // is F below, plus D² times the mean of e^(-2t/τ).
    const double span = 0.1, d = std::sin(phi), k = 1 / tau;
    const auto F = [&](double x) {
        return std::exp(-k * x) * (-k * std::sin(w * x - phi) - w * std::cos(w * x - phi)) /
               (k * k + w * w);
    };
    const double cross = 2 * d * (F(span) - F(0)) / span;
    const double offset2 = d * d * (1 - std::exp(-2 * k * span)) / (2 * k) / span;
    const double rms = 0.1 * amplitude * std::sqrt(0.5 + cross + offset2);
    EXPECT_NEAR(t.totals.rms, rms, 0.005 * rms);
    EXPECT_NEAR(t.totals.firstPeakRatio, firstPeak / (std::sqrt(2.0) * rms), 0.01);
}

TEST(CycleTable, EmptyOrOutOfRangeSpanGivesNoRows) {
    const std::vector<std::int16_t> s = sine(100, 60, 1000);
    EXPECT_TRUE(cut(s, 50, 0, 60).rows.empty());
    EXPECT_TRUE(cut(s, 100, 40, 60).rows.empty());
    const CycleTable clipped = cut(s, 90, 40, 60); // clipped to the samples there are
    ASSERT_EQ(clipped.rows.size(), 1u);
    EXPECT_EQ(clipped.rows[0].count, 10);
    EXPECT_TRUE(clipped.rows[0].partial);
}

} // namespace
