#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ZarnRxPath.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Wire bytes built by hand, independently of the frame builder.
Bytes Wire(uint8_t type, const Bytes& payload, uint8_t check = 0, uint8_t spare = 0)
{
    Bytes b{0x02, spare, 0x0D, type, static_cast<uint8_t>(payload.size())};
    b.insert(b.end(), payload.begin(), payload.end());
    b.push_back(check);
    b.push_back(0x03);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class RxPathTest : public ::testing::Test {
protected:
    TZarnRxPath rx;

    void Queue(const Bytes& b)
    {
        rx.BlockQueue().Append(TZarnRxBlock(b.data(), static_cast<int32_t>(b.size())));
    }
    bool Feed(const Bytes& b)
    {
        Queue(b);
        return rx.Fill();
    }
    std::vector<TZarnFrame> TakeParsed()
    {
        std::vector<TZarnFrame> out;
        while (auto* f = rx.ParsedQueue().Peek()) {
            out.push_back(*f);
            rx.ParsedQueue().RemoveHead();
        }
        return out;
    }
    std::vector<uint8_t> TypesOf(const std::vector<TZarnFrame>& frames)
    {
        std::vector<uint8_t> t;
        for (const auto& f : frames)
            t.push_back(f.MsgType);
        return t;
    }
};

} // namespace

TEST_F(RxPathTest, MalformedFramesAreDroppedAndTheNextFrameStillArrives)
{
    const Bytes good = Wire(0x21, {1, 2, 3});
    struct Case {
        const char* name;
        Bytes bad;
    };
    const std::vector<Case> cases = {
        {"wrong marker", {0x02, 0x00, 0x0E, 0x05, 0x01, 0x09, 0x00, 0x03}},
        {"length 129", Cat({{0x02, 0x00, 0x0D, 0x05, 0x81}, Bytes(129, 0x11), {0x00, 0x03}})},
        {"wrong end", {0x02, 0x00, 0x0D, 0x05, 0x01, 0x09, 0x00, 0x04}},
        {"garbage", {0xFF, 0x00, 0x0D, 0x03, 0x41, 0x42}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(Feed(Cat({c.bad, good})));
        const auto frames = TakeParsed();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].MsgType, 0x21);
        EXPECT_EQ(frames[0].Length, 3);
        EXPECT_EQ(rx.ParserState(), 0);
    }
}

TEST_F(RxPathTest, ByteThatBreaksAFrameIsNotReexaminedAsStart)
{
    // The wrong marker here is 0x02; it is consumed, so the frame that seems to
    // start with it is lost too (its own marker byte is read in state 0).
    EXPECT_FALSE(Feed({0x02, 0x00, 0x02, 0x00, 0x0D, 0x05, 0x00, 0x00, 0x03}));
    EXPECT_TRUE(TakeParsed().empty());
}

TEST_F(RxPathTest, LengthsZeroAnd128AreAccepted)
{
    Bytes full(128);
    for (int i = 0; i < 128; ++i)
        full[i] = static_cast<uint8_t>(0x80 + i);
    EXPECT_TRUE(Feed(Cat({Wire(4, {}, 0x00, 0x7F), Wire(16, full)})));
    const auto frames = TakeParsed();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].Length, 0);
    EXPECT_EQ(frames[0].Spare, 0x7F); // kept as received
    EXPECT_EQ(frames[0].End, 0x03);
    EXPECT_EQ(frames[1].Length, 128);
    EXPECT_TRUE(std::equal(full.begin(), full.end(), frames[1].Payload));
}

TEST_F(RxPathTest, AnyCheckValueIsAcceptedAndKept)
{
    const Bytes checks = {0x00, 0x02, 0x03, 0x0D, 0xFF};
    Bytes stream;
    for (uint8_t c : checks)
        stream = Cat({stream, Wire(5, {c, 0xEE}, c)});
    EXPECT_TRUE(Feed(stream));
    const auto frames = TakeParsed();
    ASSERT_EQ(frames.size(), checks.size());
    for (size_t i = 0; i < checks.size(); ++i)
        EXPECT_EQ(frames[i].Check, checks[i]);
}

TEST_F(RxPathTest, PayloadBeyondLengthIsZeroAfterALongerFrame)
{
    EXPECT_TRUE(Feed(Cat({Wire(1, Bytes(100, 0xAB)), Wire(2, {0x01})})));
    const auto frames = TakeParsed();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].Payload[0], 0x01);
    for (int i = 1; i < 128; ++i)
        ASSERT_EQ(frames[1].Payload[i], 0) << i;
}

TEST_F(RxPathTest, FrameSplitOverTwoFillStepsIsAssembled)
{
    const Bytes frame = Wire(14, {'V', '3', '.', '0', '4'});
    for (size_t cut = 1; cut < frame.size(); ++cut) {
        SCOPED_TRACE(cut);
        EXPECT_FALSE(Feed(Bytes(frame.begin(), frame.begin() + cut)));
        EXPECT_TRUE(Feed(Bytes(frame.begin() + cut, frame.end())));
        const auto frames = TakeParsed();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].Length, 5);
        EXPECT_EQ(frames[0].Payload[4], '4');
    }
}

TEST_F(RxPathTest, ElevenFramesTakeTwoFillSteps)
{
    Bytes stream;
    for (uint8_t t = 1; t <= 11; ++t)
        stream = Cat({stream, Wire(t, {t})});
    EXPECT_TRUE(Feed(stream));
    EXPECT_EQ(rx.ParsedQueue().Count(), 10);
    EXPECT_EQ(rx.Unread(), 8); // the eleventh waits in the ring
    EXPECT_TRUE(rx.Fill());    // next fill step, no new block
    const auto frames = TakeParsed();
    ASSERT_EQ(frames.size(), 11u);
    EXPECT_EQ(frames.back().MsgType, 11);
    EXPECT_FALSE(rx.Fill());
}

TEST_F(RxPathTest, ClassifyFiltersByTypeAndAsksTheAveragingStep)
{
    std::vector<uint8_t> averaged;
    rx.SetAverageFn([&](const TZarnFrame& f) {
        averaged.push_back(f.Payload[0]);
        return f.Payload[0] == 2; // only the second status frame closes an interval
    });
    Feed(Cat({Wire(0, {1}), Wire(18, {0, 0, 0, 0, 0}), Wire(14, {'V'}), Wire(0, {2}), Wire(19, {})}));
    EXPECT_EQ(rx.Classify(), 3);
    EXPECT_EQ(averaged, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(rx.ParsedQueue().Count(), 0);
    std::vector<uint8_t> delivered;
    while (auto* f = rx.DeliveryQueue().Peek()) {
        delivered.push_back(f->MsgType);
        rx.DeliveryQueue().RemoveHead();
    }
    EXPECT_EQ(delivered, (std::vector<uint8_t>{14, 0, 19}));
}

TEST_F(RxPathTest, ClassifyMovesAtMostTenAndOnlyWhileConnected)
{
    bool connected = false;
    rx.SetConnectedFn([&] { return connected; });
    Bytes stream;
    for (int i = 0; i < 12; ++i)
        stream = Cat({stream, Wire(3, {})});
    Feed(stream);
    rx.Fill();
    ASSERT_EQ(rx.ParsedQueue().Count(), 12);
    EXPECT_EQ(rx.Classify(), 0);
    EXPECT_EQ(rx.ParsedQueue().Count(), 12);
    connected = true;
    EXPECT_EQ(rx.Classify(), 10);
    EXPECT_EQ(rx.Classify(), 2);
    EXPECT_EQ(rx.DeliveryQueue().Count(), 12);
}

TEST_F(RxPathTest, AveragingExceptionStillRemovesTheFrame)
{
    rx.SetAverageFn([](const TZarnFrame&) -> bool { throw std::runtime_error("bad"); });
    Feed(Cat({Wire(0, {}), Wire(7, {})}));
    EXPECT_THROW(rx.Classify(), std::runtime_error);
    EXPECT_EQ(rx.ParsedQueue().Count(), 1);
    EXPECT_EQ(rx.Classify(), 1);
    EXPECT_EQ(rx.DeliveryQueue().Peek()->MsgType, 7);
}

TEST_F(RxPathTest, RawModeLeavesBytesToTheReaderAndResetRingKeepsParserState)
{
    int bootState = 2;
    rx.SetBootStateFn([&] { return bootState; });
    EXPECT_FALSE(Feed(Cat({{'O', 'K', '.', '\r'}, Wire(3, {})})));
    EXPECT_TRUE(rx.ParsedQueue().IsEmpty());
    uint8_t b = 0;
    Bytes got;
    while (rx.RawReadByte(b))
        got.push_back(b);
    EXPECT_EQ(got.size(), 11u);
    EXPECT_EQ(got[0], 'O');
    EXPECT_EQ(rx.ReadIndex(), rx.WriteIndex());

    // A half frame seen before raw mode stays half-assembled across a reset.
    bootState = 0;
    Feed({0x02, 0x00, 0x0D});
    EXPECT_EQ(rx.ParserState(), 3);
    Queue({0x55});
    rx.ResetRing();
    EXPECT_EQ(rx.ReadIndex(), 0);
    EXPECT_EQ(rx.WriteIndex(), 0);
    EXPECT_TRUE(rx.BlockQueue().IsEmpty());
    EXPECT_EQ(rx.ParserState(), 3);

    bootState = 12; // states above 11 parse again
    EXPECT_TRUE(Feed({0x08, 0x00, 0x00, 0x03}));
    EXPECT_EQ(TakeParsed().at(0).MsgType, 0x08);
}

TEST_F(RxPathTest, NestedFillReturnsAtOnce)
{
    bool nestedResult = true;
    int nested = 0;
    rx.SetBootStateFn([&] {
        if (nested++ == 0)
            nestedResult = rx.Fill(); // re-entry through message processing
        return 0;
    });
    EXPECT_TRUE(Feed(Wire(1, {})));
    EXPECT_FALSE(nestedResult);
    // The guard is cleared again afterwards.
    EXPECT_TRUE(Feed(Wire(2, {})));
}

TEST_F(RxPathTest, OverrunDropsOldestBytesCountsThemAndNeverJoinsAcrossTheGap)
{
    // A frame is half-assembled (it still needs 11 payload bytes)...
    EXPECT_FALSE(Feed({0x02, 0x00, 0x0D, 0x05, 0x10, 1, 2, 3, 4, 5}));
    ASSERT_EQ(rx.ParserState(), 5);
    // ...when more than the ring holds arrives at once. The surviving bytes begin
    // with what would complete that frame if the parser carried on across the gap.
    const Bytes good = Wire(9, {0x42});
    const Bytes tail = {0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x00, 0x03};
    const size_t lost = 100;
    const Bytes block = Cat({Bytes(lost, 0xEE), tail, Bytes(4095 - tail.size() - good.size(), 0x00), good});
    EXPECT_TRUE(Feed(block));
    EXPECT_EQ(rx.OverrunBytes(), lost);
    const auto frames = TakeParsed();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].MsgType, 9);
}

TEST_F(RxPathTest, ExactlyAFullRingLosesOnlyTheExcess)
{
    rx.SetBootStateFn([] { return 5; }); // raw mode: nothing is parsed
    Feed(Bytes(4096, 0x30));
    EXPECT_EQ(rx.Unread(), 4095);
    EXPECT_EQ(rx.OverrunBytes(), 1u);
    Feed(Bytes(10, 0x31));
    EXPECT_EQ(rx.Unread(), 4095);
    EXPECT_EQ(rx.OverrunBytes(), 11u);
    Feed(Bytes(0, 0));
    EXPECT_EQ(rx.OverrunBytes(), 11u);
}

TEST_F(RxPathTest, DisposerRunsForEveryRemovedElement)
{
    int disposed = 0;
    TZarnSafeQueue<TZarnFrame> q([&](TZarnFrame&) { ++disposed; });
    q.Append(TZarnFrame{});
    q.Append(TZarnFrame{});
    q.Append(TZarnFrame{});
    EXPECT_TRUE(q.RemoveHead());
    q.Clear();
    EXPECT_FALSE(q.RemoveHead());
    EXPECT_EQ(disposed, 3);
    EXPECT_EQ(q.Count(), 0);
}

TEST_F(RxPathTest, BlocksFromAnotherThreadArriveWholeAndInOrder)
{
    constexpr int kFrames = 2000;
    std::thread producer([this] {
        for (int i = 0; i < kFrames; ++i) {
            // Keep the backlog well inside the ring, as the link's one block per tick does.
            while (rx.BlockQueue().Count() > 50)
                std::this_thread::yield();
            Queue(Wire(5, {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}));
        }
    });
    std::vector<int> seen;
    // A generous bound: under a sanitizer on a loaded machine both spinning threads crawl.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (static_cast<int>(seen.size()) < kFrames && std::chrono::steady_clock::now() < deadline) {
        // Drain everything that came in: the per-step limits would otherwise let a fast
        // producer outrun the ring on a loaded machine.
        rx.Fill();
        while (rx.Parse()) {
        }
        while (rx.Classify() > 0) {
        }
        const size_t before = seen.size();
        while (auto* f = rx.DeliveryQueue().Peek()) {
            seen.push_back(f->Payload[0] | f->Payload[1] << 8);
            rx.DeliveryQueue().RemoveHead();
        }
        if (seen.size() == before)
            std::this_thread::yield(); // let the producer have the core
    }
    producer.join();
    ASSERT_EQ(static_cast<int>(seen.size()), kFrames);
    for (int i = 0; i < kFrames; ++i)
        ASSERT_EQ(seen[i], i);
    EXPECT_EQ(rx.OverrunBytes(), 0u);
}
