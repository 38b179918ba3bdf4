#include "link/protocol.h"
#include "link/rxring.h"

#include <gtest/gtest.h>

#include <limits>

#include <memory>

using namespace qarn3;

namespace {

template <typename Ring> void feed(Ring& ring, std::initializer_list<int> bytes) {
    for (int b : bytes)
        ring.RingPut(static_cast<std::uint8_t>(b));
}

struct PairCase {
    std::uint8_t first, second;
    int expected;
};

class DecodePair : public ::testing::TestWithParam<PairCase> {};

TEST_P(DecodePair, DecodesThroughTheRing) {
    auto ring = std::make_unique<UsbRxRing>();
    RxErrorState errors;
    feed(*ring, {GetParam().first, GetParam().second});
    EXPECT_EQ(ring->GetSample(errors), GetParam().expected);
    EXPECT_EQ(errors.ErrorCount, 0);
    EXPECT_EQ(ring->RxCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Samples, DecodePair,
                         ::testing::Values(PairCase{0x00, 0x21, 0}, PairCase{0xFC, 0x3D, 2044},
                                           PairCase{0x00, 0x01, -2048},
                                           PairCase{0x02, 0x23, 0},      // phase bit set on both
                                           PairCase{0xFE, 0xFF, 2044})); // bits 6-7 ignored

TEST(Decode, EncodeSampleRoundTripsEveryCount) {
    for (int count = -2048; count <= 2044; count += 4) {
        for (bool phase : {false, true}) {
            std::uint8_t a, b;
            encodeSample(count, phase, a, b);
            ASSERT_EQ(a & 1, 0);
            ASSERT_EQ(b & 1, 1);
            ASSERT_EQ(decodePair(a, b), count);
        }
    }
}

template <typename Ring> class RingDecoding : public ::testing::Test {
protected:
    std::unique_ptr<Ring> ring = std::make_unique<Ring>();
    RxErrorState errors;
};
using RingTypes = ::testing::Types<UsbRxRing, ComRxRing>;
TYPED_TEST_SUITE(RingDecoding, RingTypes);

TYPED_TEST(RingDecoding, StrayFirstCharacterResyncsAfterOneByte) {
    // 0x21 is a second character: it alone is lost, then pairs decode in step.
    feed(*this->ring, {0x21, 0xFC, 0x3D, 0x00, 0x21});
    EXPECT_EQ(this->ring->GetSample(this->errors), 0);
    EXPECT_EQ(this->errors.ErrorCount, 1);
    EXPECT_EQ(this->errors.RxErrorFlags, rxerr::FirstChar);
    EXPECT_EQ(this->errors.BadFirstChar, 0x21);
    EXPECT_EQ(this->ring->RxCount(), 4);
    EXPECT_EQ(this->ring->GetSample(this->errors), 2044);
    EXPECT_EQ(this->ring->GetSample(this->errors), 0);
    EXPECT_EQ(this->errors.ErrorCount, 1);
}

TYPED_TEST(RingDecoding, FirstFollowedByFirstCountsOneSecondCharErrorAndConsumesBoth) {
    feed(*this->ring, {0x00, 0xFC, 0xFC, 0x3D});
    EXPECT_EQ(this->ring->GetSample(this->errors), 0);
    EXPECT_EQ(this->errors.ErrorCount, 1);
    EXPECT_EQ(this->errors.RxErrorFlags, rxerr::SecondChar);
    EXPECT_EQ(this->errors.BadSecondChar, 0xFC);
    EXPECT_EQ(this->ring->RxCount(), 2);
    EXPECT_EQ(this->ring->GetSample(this->errors), 2044);
}

TYPED_TEST(RingDecoding, PhaseMismatchCountsCharMatchPerPair) {
    feed(*this->ring, {0x02, 0x21, 0x00, 0x23, 0xFC, 0x3D});
    EXPECT_EQ(this->ring->GetSample(this->errors), 0);
    EXPECT_EQ(this->ring->GetSample(this->errors), 0);
    EXPECT_EQ(this->errors.ErrorCount, 2);
    EXPECT_EQ(this->errors.RxErrorFlags, rxerr::CharMatch);
    EXPECT_EQ(this->errors.BadSecondChar, 0x23);
    EXPECT_EQ(this->ring->GetSample(this->errors), 2044);
}

TYPED_TEST(RingDecoding, OneUnreadCharacterGivesZeroAndCountsNothing) {
    feed(*this->ring, {0x21});
    EXPECT_EQ(this->ring->GetSample(this->errors), 0);
    EXPECT_EQ(this->errors.ErrorCount, 0);
    EXPECT_EQ(this->ring->RxCount(), 1);
    EXPECT_EQ(this->ring->GetSample(this->errors), 0);
}

TYPED_TEST(RingDecoding, BackToBackErrorsKeepCounting) {
    feed(*this->ring, {0x01, 0x01, 0x01, 0x00, 0x00, 0x02, 0x01});
    for (int i = 0; i < 5; ++i)
        this->ring->GetSample(this->errors);
    EXPECT_EQ(this->errors.ErrorCount, 5);
    EXPECT_EQ(this->errors.RxErrorFlags, rxerr::FirstChar | rxerr::SecondChar | rxerr::CharMatch);
    EXPECT_EQ(this->ring->RxCount(), 0);
}

TYPED_TEST(RingDecoding, TheErrorCountStopsAtItsLargestValue) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    this->errors.ErrorCount = kMax - 1;
    feed(*this->ring, {0x01, 0x01, 0x01});
    for (int i = 0; i < 3; ++i)
        this->ring->GetSample(this->errors);
    EXPECT_EQ(this->errors.ErrorCount, kMax);
}

TYPED_TEST(RingDecoding, PairSplitAcrossWrapDecodes) {
    // Walk the indexes to the last slot, so the pair straddles the wrap.
    for (std::size_t i = 0; i + 1 < TypeParam::kCapacity; ++i) {
        this->ring->RingPut(0);
        this->ring->RingGet();
    }
    feed(*this->ring, {0xFC, 0x3D});
    EXPECT_EQ(this->ring->WriteIndex(), 1);
    EXPECT_EQ(this->ring->GetSample(this->errors), 2044);
}

// The damage a reading may rest on, counted apart from the error count that the status
// windows clear: characters a full ring lost (refused or overwritten) and every rejected pair.
// Emptying the ring on purpose is no damage.
TYPED_TEST(RingDecoding, CountsLostCharactersAndRejectedPairsButNotAClear) {
    for (std::size_t i = 0; i < TypeParam::kCapacity + 3; ++i)
        this->ring->RingPut(0x00);
    const std::uint8_t more[2] = {0x00, 0x21};
    this->ring->putBlock(more, 2);
    EXPECT_EQ(this->ring->lost(), 5u);
    this->ring->clear();
    feed(*this->ring, {0x01, 0x00, 0x00, 0x02, 0x01, 0xFC, 0x3D});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(this->ring->GetSample(this->errors), 0);
    EXPECT_EQ(this->ring->GetSample(this->errors), 2044);
    EXPECT_EQ(this->ring->rejected(), 3u);
    EXPECT_EQ(this->ring->lost(), 5u);
}

TEST(UsbRing, RefusesWhenFullAndKeepsTheOldest) {
    auto ring = std::make_unique<UsbRxRing>();
    for (int i = 0; i < 65000; ++i)
        ASSERT_TRUE(ring->RingPut(static_cast<std::uint8_t>(i)));
    EXPECT_FALSE(ring->RingPut(0xAA));
    const std::uint8_t more[3] = {1, 2, 3};
    EXPECT_EQ(ring->putBlock(more, 3), 0u);
    EXPECT_EQ(ring->RxCount(), 65000);
    EXPECT_EQ(ring->RingGet(), 0);
    EXPECT_EQ(ring->RingGet(), 1);
    EXPECT_TRUE(ring->RingPut(0xAA));
}

TEST(ComRing, OverwritesTheOldestAndReadsTheNewestInOrder) {
    auto ring = std::make_unique<ComRxRing>();
    const int total = 100001 + 1;
    for (int i = 0; i < total; ++i)
        ring->RingPut(static_cast<std::uint8_t>(i % 251));
    EXPECT_EQ(ring->RxCount(), 100001);
    // The oldest kept character is the second one written.
    EXPECT_EQ(ring->RingGet(), 1);
    EXPECT_EQ(ring->RingGet(), 2);
    EXPECT_EQ(ring->recent(1), (total - 1) % 251);
}

TEST(Rings, ClearEmptiesAndRestartsIndexes) {
    auto ring = std::make_unique<ComRxRing>();
    feed(*ring, {1, 2, 3});
    ring->RingGet();
    ring->clear();
    EXPECT_EQ(ring->RxCount(), 0);
    EXPECT_EQ(ring->WriteIndex(), 0);
    EXPECT_EQ(ring->ReadIndex(), 0);
    EXPECT_EQ(ring->RingGet(), 0);
}

struct RangeCase {
    int rangeIndex;
    std::uint8_t code;
};

class RangeCodes : public ::testing::TestWithParam<RangeCase> {};

// 0x38 less the range index; an index outside 1..8 (a damaged setup file) selects the nearest
// range rather than a byte the analyzer does not know.
TEST_P(RangeCodes, CodeByteOfEveryRange) {
    EXPECT_EQ(rangeCode(GetParam().rangeIndex), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Ranges, RangeCodes,
                         ::testing::Values(RangeCase{-1, 0x37}, RangeCase{0, 0x37},
                                           RangeCase{1, 0x37}, RangeCase{2, 0x36},
                                           RangeCase{3, 0x35}, RangeCase{4, 0x34},
                                           RangeCase{5, 0x33}, RangeCase{6, 0x32},
                                           RangeCase{7, 0x31}, RangeCase{8, 0x30},
                                           RangeCase{9, 0x30}, RangeCase{200, 0x30}));

TEST(UsbPackets, TestStringIsOneStringPacket) {
    EXPECT_EQ(usbStringPacket(kTestString), (std::vector<std::uint8_t>{0xF0, 4, 0x41, 0x0D}));
    EXPECT_EQ(usbCommandPacket(0x1A), (std::vector<std::uint8_t>{0x80, 3, 0x1A}));
}

TEST(CalImage, SendingStopsAtNulAndAt128) {
    EXPECT_EQ(calImageForSending(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(calImageForSending(std::string(200, 'x')).size(), 128u);
    const std::string s = calWriteString(std::string(128, 'y'));
    ASSERT_EQ(s.size(), 131u);
    EXPECT_EQ(s[0], '\x04');
    EXPECT_EQ(s[1], '\x05');
    EXPECT_EQ(s[130], '\x04');
}

} // namespace
