#include <gtest/gtest.h>

#include <chrono>

#include "Clock.h"
#include "MqUtils.h"

using namespace std::chrono;
using plat::Clock;

namespace {
// Time is moved by the clock's offsets, so the checks allow only for the real time the test takes.
constexpr int64_t kSlackMs = 50;

class MqTimerTest : public ::testing::Test {
protected:
    void TearDown() override { Clock::ResetOffsets(); }
    // Moves the steady clock (and with it the tick count) forward.
    void Advance(milliseconds ms)
    {
        m_steady += ms;
        Clock::SetSteadyOffset(m_steady);
    }
    nanoseconds m_steady{0};
};
} // namespace

TEST_F(MqTimerTest, ElapsedIsNegativeUntilTheIntervalHasPassed)
{
    TMqTimer timer(100, tuMilliseconds);
    const int64_t start = timer.Elapsed();
    EXPECT_LE(start, 0);
    EXPECT_GE(start, -100);
    Advance(milliseconds(100));
    EXPECT_NEAR(timer.Elapsed(), 0, kSlackMs);
    Advance(milliseconds(250));
    EXPECT_NEAR(timer.Elapsed(), 250, kSlackMs);

    TMqTimer micro(100, tuMicroseconds);
    EXPECT_LE(micro.Elapsed(), 0);
    Advance(milliseconds(1));
    EXPECT_NEAR(micro.Elapsed(), 900, kSlackMs * 1000);
}

TEST_F(MqTimerTest, KeepsCountingAcrossAWrapOfTheTickCount)
{
    Clock::SetTickOffset(0xFFFFFFFFu - 50u - (Clock::TickCount() - 0u)); // 50 ms before the wrap
    TMqTimer timer(100, tuMilliseconds);
    Advance(milliseconds(100)); // the tick count wraps here
    ASSERT_LT(Clock::TickCount(), 1000u);
    EXPECT_NEAR(timer.Elapsed(), 0, kSlackMs);
    Advance(milliseconds(400));
    EXPECT_NEAR(timer.Elapsed(), 400, kSlackMs);
}

// A jump of the performance counter that the tick count does not share is not believed.
TEST_F(MqTimerTest, AForwardJumpOfTheCounterAloneIsCorrected)
{
    TMqTimer timer(0, tuMilliseconds);
    Advance(milliseconds(200));
    EXPECT_NEAR(timer.Elapsed(), 200, kSlackMs);
    // The counter jumps 10 s while the tick count is held back by the same amount.
    const uint32_t ticks = Clock::TickCount();
    Advance(seconds(10));
    Clock::SetTickOffset(ticks - (Clock::TickCount() - 0u));
    EXPECT_NEAR(timer.Elapsed(), 200, kSlackMs);
    Advance(milliseconds(100));
    EXPECT_NEAR(timer.Elapsed(), 300, kSlackMs);
}

namespace {
struct TCounted {
    explicit TCounted(int& alive) : Alive(alive) { ++Alive; }
    ~TCounted() { --Alive; }
    int& Alive;
};
} // namespace

TEST(MqIndexedObjectList, MapsKeysByIdentityAndFreesOnlyThroughFreeAll)
{
    int alive = 0;
    int k1, k2, k3;
    TMqIndexedObjectList<int, TCounted> map;
    auto* a = new TCounted(alive);
    auto* b = new TCounted(alive);
    auto* c = new TCounted(alive);
    map.Put(&k1, a);
    map.Put(&k2, b);
    EXPECT_EQ(map.Find(&k1), a);
    EXPECT_EQ(map.Find(&k3), nullptr);
    map.Put(&k1, c); // replaces, keeps the position
    EXPECT_EQ(map.Count(), 2);
    EXPECT_EQ(map.ValueAt(0), c);
    EXPECT_EQ(map.Extract(&k2), b);
    EXPECT_EQ(map.Extract(&k2), nullptr);
    EXPECT_EQ(map.Count(), 1);
    delete a;
    delete b;
    map.Put(&k3, new TCounted(alive));
    EXPECT_EQ(alive, 2);
    map.FreeAll();
    EXPECT_EQ(map.Count(), 0);
    EXPECT_EQ(alive, 0);
}
