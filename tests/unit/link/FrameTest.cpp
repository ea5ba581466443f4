#include <gtest/gtest.h>

#include <vector>

#include "ZarnFrame.h"

namespace {

std::vector<uint8_t> Wire(const TZarnFrame& f)
{
    auto s = ZarnWireBytes(f);
    return {s.begin(), s.end()};
}

} // namespace

TEST(FrameTest, TypeOneWithoutPayloadIsExactlySevenBytes)
{
    TZarnFrame f;
    ASSERT_TRUE(ZarnBuildFrame(f, 1, nullptr, 0));
    EXPECT_EQ(Wire(f), (std::vector<uint8_t>{0x02, 0x00, 0x0D, 0x01, 0x00, 0x00, 0x03}));
}

TEST(FrameTest, TrailerFollowsPayloadOnTheWire)
{
    const uint8_t payload[] = {0xAA, 0x03, 0x02};
    TZarnFrame f;
    ASSERT_TRUE(ZarnBuildFrame(f, 24, payload, 3));
    EXPECT_EQ(Wire(f), (std::vector<uint8_t>{0x02, 0x00, 0x0D, 24, 3, 0xAA, 0x03, 0x02, 0x00, 0x03}));
    // The record keeps its own trailer after the whole payload area.
    EXPECT_EQ(f.End, 0x03);
    EXPECT_EQ(f.Check, 0x00);
}

TEST(FrameTest, FullPayloadTrailerIsTheRecordsOwn)
{
    std::vector<uint8_t> payload(128);
    for (int i = 0; i < 128; ++i)
        payload[i] = static_cast<uint8_t>(i + 1);
    TZarnFrame f;
    ASSERT_TRUE(ZarnBuildFrame(f, 7, payload.data(), 128));
    const auto w = Wire(f);
    ASSERT_EQ(w.size(), 135u);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), w.begin() + 5));
    EXPECT_EQ(w[133], 0x00);
    EXPECT_EQ(w[134], 0x03);
}

TEST(FrameTest, OversizedOrMissingPayloadIsRefused)
{
    std::vector<uint8_t> payload(129, 0x55);
    TZarnFrame f;
    f.MsgType = 9;
    EXPECT_FALSE(ZarnBuildFrame(f, 1, payload.data(), 129));
    EXPECT_FALSE(ZarnBuildFrame(f, 1, nullptr, 4));
    EXPECT_EQ(f.MsgType, 9); // untouched

    f.Length = 200; // a caller-filled record with an impossible length
    EXPECT_FALSE(ZarnSealFrame(f));
    EXPECT_TRUE(ZarnWireBytes(f).empty());
}

TEST(FrameTest, SealReusesCallerFilledRecord)
{
    // The transmit record is reused: a shorter frame after a longer one must end
    // right after its own payload.
    TZarnFrame f;
    const uint8_t longer[] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(ZarnBuildFrame(f, 22, longer, 6));
    f.MsgType = 20;
    f.Length = 2;
    ASSERT_TRUE(ZarnSealFrame(f));
    EXPECT_EQ(Wire(f), (std::vector<uint8_t>{0x02, 0x00, 0x0D, 20, 2, 1, 2, 0x00, 0x03}));
}

TEST(FrameTest, RxBlockOwnsACopy)
{
    uint8_t bytes[] = {1, 2, 3};
    TZarnRxBlock b(bytes, 3);
    bytes[0] = 9;
    ASSERT_EQ(b.Size, 3);
    EXPECT_EQ(b.Data[0], 1);
    TZarnRxBlock empty(bytes, 0);
    EXPECT_EQ(empty.Size, 0);
    EXPECT_EQ(empty.Data, nullptr);
}
