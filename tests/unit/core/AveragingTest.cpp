#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ZarnAveraging.h"
#include "ZarnFrame.h"

namespace {

struct Levels {
    float pilot = -40, amp = -70, chan = -80, phase = 1;
};

// A V3 status frame with the given levels on both demodulators (demod 2 is 10 dB lower).
TZarnFrame StatusFrame(const char* time, Levels l = {})
{
    TZarnStatusRec r;
    r.MainState = 3;
    for (TZarnDemodRec* d : {&r.Demod1, &r.Demod2}) {
        const float shift = d == &r.Demod2 ? -10.0f : 0.0f;
        d->PilotLevel = l.pilot + shift;
        d->AmpNoise = l.amp + shift;
        d->ChanNoise = l.chan + shift;
        d->PhaseNoise = l.phase;
    }
    if (time)
        std::memcpy(r.Demod1.TimeText, time, std::min<size_t>(std::strlen(time), 20));
    TZarnFrame f;
    f.Length = 120;
    r.ToBytes(f.Payload);
    return f;
}

double LinearMeanDb(std::initializer_list<double> dbs)
{
    double s = 0;
    for (double v : dbs)
        s += std::pow(10.0, v / 10.0);
    return 10.0 * std::log10(s / dbs.size());
}

class AveragingTest : public ::testing::Test {
protected:
    TZarnAveraging avg;
    bool Feed(const char* time, Levels l = {}) { return avg.Average(StatusFrame(time, l), 8).Deliver; }
};

} // namespace

TEST_F(AveragingTest, FourFramesWithOneKeyCloseOnTheFourth)
{
    EXPECT_FALSE(Feed("24 075 12:34:56", {-40, -70, -80, 1}));
    EXPECT_FALSE(Feed("24 075 12:34:56", {-30, -60, -90, 3}));
    EXPECT_FALSE(Feed("24 075 12:34:56", {-40, -70, -80, 1}));
    EXPECT_EQ(avg.Acc(1).Count, 3);
    EXPECT_TRUE(Feed("24 075 12:34:56", {-30, -60, -90, 3}));
    EXPECT_EQ(avg.Acc(1).Count, 0);
    EXPECT_EQ(avg.Acc(2).Count, 0);

    const TZarnLevelSample& s = avg.Ring(1).Newest();
    EXPECT_NEAR(s.PilotLevelAvg, LinearMeanDb({-40, -30, -40, -30}), 1e-3);
    EXPECT_NEAR(s.AmpNoiseAvg, LinearMeanDb({-70, -60, -70, -60}), 1e-3);
    EXPECT_NEAR(s.ChanNoiseAvg, LinearMeanDb({-80, -90, -80, -90}), 1e-3);
    EXPECT_FLOAT_EQ(s.PhaseNoiseAvg, 2.0f);
    EXPECT_EQ(s.Time(), "24 075 12:34:56");
    EXPECT_NEAR(avg.Ring(2).Newest().PilotLevelAvg, LinearMeanDb({-50, -40, -50, -40}), 1e-3);
    EXPECT_EQ(avg.Snapshots().Count(), 1);
}

TEST_F(AveragingTest, ANewKeyClosesTheIntervalOverTwoFrames)
{
    EXPECT_FALSE(Feed("24 075 12:34:56", {-40, -70, -80, 1}));
    EXPECT_TRUE(Feed("24 075 12:34:57", {-30, -70, -80, 3}));
    const TZarnLevelSample& s = avg.Ring(1).Newest();
    EXPECT_NEAR(s.PilotLevelAvg, -32.596f, 1e-3); // linear mean, not -35
    EXPECT_FLOAT_EQ(s.PhaseNoiseAvg, 2.0f);
    EXPECT_EQ(s.Time(), "24 075 12:34:57");
    EXPECT_EQ(avg.StoredKey(), "57");
    // The new key now holds: the next second's frames collect again.
    EXPECT_FALSE(Feed("24 075 12:34:57"));
}

TEST_F(AveragingTest, WithoutTimeIntervalsCloseEveryFourFrames)
{
    int delivered = 0;
    for (int i = 1; i <= 12; ++i) {
        const bool d = Feed(nullptr);
        EXPECT_EQ(d, i % 4 == 0) << i;
        delivered += d;
    }
    EXPECT_EQ(delivered, 3);
    EXPECT_EQ(avg.Ring(1).Newest().Time(), "No Time Sent");
    EXPECT_EQ(avg.StoredKey(), "");
}

TEST_F(AveragingTest, DayZeroTimeShowsNoTimeButKeepsItsKey)
{
    EXPECT_FALSE(Feed("00 000 01:02:03")); // the first frame after a reset never closes
    EXPECT_EQ(avg.StoredKey(), "03");
    EXPECT_TRUE(Feed("00 000 01:02:04"));
    EXPECT_EQ(avg.Ring(1).Newest().Time(), "No Time Sent");
}

TEST_F(AveragingTest, FailedLogarithmGivesMinusOne)
{
    // Linear power of -500 dB underflows the single-precision sums to zero.
    EXPECT_FALSE(Feed("24 075 12:34:56", {-500, -70, -80, 1}));
    EXPECT_TRUE(Feed("24 075 12:34:57", {-500, -70, -80, 1}));
    EXPECT_EQ(avg.Ring(1).Newest().PilotLevelAvg, -1.0f);
    EXPECT_NEAR(avg.Ring(1).Newest().AmpNoiseAvg, -70.0f, 1e-3);
    EXPECT_EQ(LinearToDb(0.0), -1.0f);
    EXPECT_EQ(LinearToDb(-3.0), -1.0f);
    EXPECT_EQ(LinearToDb(NAN), -1.0f);
    EXPECT_NEAR(LinearToDb(1e-4), -40.0f, 1e-5);
}

TEST_F(AveragingTest, RingKeeps299AfterThreeHundredCloses)
{
    for (int i = 1; i <= 300; ++i) {
        for (int k = 0; k < 4; ++k)
            Feed(nullptr, {-40.0f - i, -70, -80, 1});
        if (i == 299) {
            EXPECT_EQ(avg.Ring(1).Head, 299);
            EXPECT_EQ(avg.Ring(1).Tail, 0);
            EXPECT_EQ(avg.Ring(1).Count(), 299);
        }
    }
    for (int d : {1, 2}) {
        const TZarnHistoryRing& r = avg.Ring(d);
        EXPECT_EQ(r.Head, 0);
        EXPECT_EQ(r.Tail, 1);
        EXPECT_EQ(r.Count(), 299);
    }
    EXPECT_NEAR(avg.Ring(1).Newest().PilotLevelAvg, -340.0f, 1e-3);
    EXPECT_NEAR(avg.Ring(1).Samples[2].PilotLevelAvg, -42.0f, 1e-3); // oldest held, just after Tail
    EXPECT_EQ(avg.IntervalsClosed(), 300u);
}

TEST_F(AveragingTest, DisplayTakesOnlyTheNewestSnapshot)
{
    Feed("24 075 12:34:56", {-40, -70, -80, 1});
    EXPECT_TRUE(Feed("24 075 12:34:57", {-40, -70, -80, 1}));
    EXPECT_TRUE(Feed("24 075 12:34:58", {-20, -70, -80, 1}));
    EXPECT_EQ(avg.Snapshots().Count(), 2);
    const auto snap = avg.TakeNewestSnapshot();
    ASSERT_TRUE(snap.has_value());
    EXPECT_EQ(RecordTime(snap->Rec).Text, "24 075 12:34:58");
    EXPECT_NEAR(snap->Sample1.PilotLevelAvg, -20.0f, 1e-3);
    EXPECT_NEAR(snap->Sample2.PilotLevelAvg, -30.0f, 1e-3);
    EXPECT_EQ(avg.Snapshots().Count(), 0);
    EXPECT_FALSE(avg.TakeNewestSnapshot().has_value());
    EXPECT_EQ(ReceivingDataText(snap->Rec), "Receiving Data - 24 075 12:34:58");
}

TEST_F(AveragingTest, GenerationZeroIgnoresFramesEntirely)
{
    const auto r = avg.Average(StatusFrame("24 075 12:34:56"), 0);
    EXPECT_FALSE(r.Deliver);
    EXPECT_FALSE(r.Processed);
    EXPECT_EQ(avg.Acc(1).Count, 0);
    EXPECT_EQ(avg.StoredKey(), "");
    const auto r2 = avg.Average(StatusFrame("24 075 12:34:56"), 8);
    EXPECT_FALSE(r2.Deliver);
    EXPECT_TRUE(r2.Processed); // data-flow counters are reset also without a close
}

TEST_F(AveragingTest, OlderGenerationsAverageTheirOwnLayout)
{
    // A 111-byte record: Demod1 at 27, its pilot level at 29.
    TZarnFrame f;
    f.Length = 111;
    const uint8_t minus30[] = {0x00, 0x00, 0xF0, 0xC1}; // -30.0f
    std::memcpy(f.Payload + 29, minus30, 4);
    for (int i = 0; i < 4; ++i)
        avg.Average(f, 3);
    EXPECT_NEAR(avg.Ring(1).Newest().PilotLevelAvg, -30.0f, 1e-4);
}

TEST_F(AveragingTest, ResetClearsAccumulatorsRingsAndKey)
{
    Feed("24 075 12:34:56");
    Feed("24 075 12:34:57");
    Feed("24 075 12:34:57");
    avg.Reset();
    EXPECT_EQ(avg.Acc(1).Count, 0);
    EXPECT_EQ(avg.Acc(2).SumPilot, 0.0f);
    EXPECT_EQ(avg.Ring(1).Head, 0);
    EXPECT_EQ(avg.Ring(1).Count(), 0);
    EXPECT_EQ(avg.Ring(1).Samples[1].PilotLevelAvg, 0.0f);
    EXPECT_EQ(avg.StoredKey(), "");
    EXPECT_FALSE(Feed("24 075 12:34:58")); // first frame after a reset only sets the key
}
