#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "KivTimer.h"
#include "TestSupport.h"

namespace {

// A pool whose clock stands still until the test moves it.
class FrozenPool : public TTimerPool {
public:
    uint32_t Now = 100000;

protected:
    uint32_t CurrentTick() const override { return Now; }
};

struct Firing {
    int32_t Handle;
    uint32_t Interval;
    int32_t Elapsed;
    std::string Who;
};

TEST(TimerPool, NoEnabledEntryMeansNoPeriodAndNoTimer)
{
    FrozenPool pool;
    EXPECT_EQ(pool.Period(), 0u);
    EXPECT_FALSE(pool.TimerActive());
    pool.Add(1000, {}, true, /*Enabled=*/false);
    EXPECT_EQ(pool.Count(), 1);
    EXPECT_EQ(pool.EnabledCount(), 0);
    EXPECT_EQ(pool.Period(), 0u);
    EXPECT_FALSE(pool.TimerActive());

    EXPECT_EQ(pool.About(), "v4.06");
    pool.SetAbout("v9");
    EXPECT_EQ(pool.About(), "v4.06");
}

struct PeriodCase {
    const char* Name;
    struct E {
        uint32_t Interval;
        uint32_t Ago; // ms since its last firing
        bool Enabled;
    };
    std::vector<E> Entries;
    uint32_t Expected;
};

class TimerPoolPeriod : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(TimerPoolPeriod, IsTheLargestDividingPeriodNotAboveTheNextDueTimeWithA55msFloor)
{
    const PeriodCase& c = GetParam();
    FrozenPool pool;
    const uint32_t now = 0x10000;
    for (const auto& e : c.Entries) {
        pool.Now = now - e.Ago;
        pool.Add(e.Interval, {}, true, e.Enabled);
    }
    pool.Now = now;
    pool.RecomputePeriod();
    EXPECT_EQ(pool.Period(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TimerPoolPeriod,
    ::testing::Values(
        // 1000 first, then lowered by 1500 mod 1000.
        PeriodCase{"JustFired1000And1500", {{1000, 0, true}, {1500, 0, true}}, 500},
        PeriodCase{"IntervalBelowFloor", {{10, 0, true}}, 55},
        PeriodCase{"OverdueEntryRunsAtFloor", {{1000, 2000, true}}, 55},
        PeriodCase{"DueExactlyNow", {{1000, 1000, true}}, 55},
        // Remaining 300, then 1000 mod 300 = 100 lowers it to 200.
        PeriodCase{"NearestDueTimeBoundsIt", {{1000, 700, true}}, 200},
        // The disabled entry does not bound the period but still has to divide it.
        PeriodCase{"DisabledEntryTakesPartInReduction", {{1000, 0, true}, {300, 0, false}}, 100},
        // 60, then 70 mod 60 = 10 gives 50, which the floor raises to 55.
        PeriodCase{"ReductionStopsAtFloor", {{60, 0, true}, {70, 0, true}}, 55},
        PeriodCase{"LongIntervalsKeepTheirCommonDivisor", {{60000, 0, true}, {3600000, 0, true}}, 60000}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TimerPool, PeriodWhenTheLastFiringLooksLaterThanNow)
{
    // Across the signed boundary of the tick count the pool takes the entry as overdue.
    FrozenPool pool;
    pool.Now = 0x7FFFFFF0;
    pool.Add(1000, {});
    pool.Now = 0x80000010;
    pool.RecomputePeriod();
    EXPECT_EQ(pool.Period(), 55u);
}

struct FireCase {
    const char* Name;
    uint32_t LastTick;
    uint32_t Now;
    uint32_t Interval;
    bool Fires;
    int32_t Elapsed;
};

class TimerPoolFire : public ::testing::TestWithParam<FireCase> {};

TEST_P(TimerPoolFire, FiresWithin27msOfItsIntervalAcrossTickCountWraps)
{
    const FireCase& c = GetParam();
    FrozenPool pool;
    std::vector<Firing> seen;
    pool.Now = c.LastTick;
    const int32_t h =
        pool.Add(c.Interval, [&](TTimerPool* sender, int32_t handle, uint32_t interval, int32_t el) {
            EXPECT_EQ(sender, &pool);
            seen.push_back({handle, interval, el, "own"});
        });
    pool.Now = c.Now;
    pool.Tick();
    if (!c.Fires) {
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(pool.Entries(0).LastTick, c.LastTick);
        EXPECT_EQ(pool.Entries(0).ElapsedTime, 0);
        return;
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Handle, h);
    EXPECT_EQ(seen[0].Interval, c.Interval);
    EXPECT_EQ(seen[0].Elapsed, c.Elapsed);
    EXPECT_EQ(pool.Entries(0).LastTick, c.Now);
    EXPECT_EQ(pool.Entries(0).State, TTimerEntry::Idle);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, TimerPoolFire,
    ::testing::Values(FireCase{"OneMsTooEarly", 1000, 1972, 1000, false, 0},
                      FireCase{"WithinTolerance", 1000, 1973, 1000, true, 973},
                      FireCase{"Late", 1000, 3000, 1000, true, 2000},
                      FireCase{"AcrossUnsignedWrap", 0xFFFFFF00, 0x100, 500, true, 512},
                      // Across the signed boundary the count comes out one short.
                      FireCase{"AcrossSignedBoundary", 0x7FFFFF00, 0x80000100, 500, true, 511},
                      FireCase{"IntervalBelowToleranceFiresEveryTick", 1000, 1000, 20, true, 0},
                      FireCase{"ShortIntervalStillWaits", 1000, 1054, 100, false, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TimerPool, OwnHandlerRunsBeforeOnAllTriggersAndElapsedTimeAccumulates)
{
    FrozenPool pool;
    std::vector<Firing> seen;
    pool.OnAllTriggers = [&](TTimerPool*, int32_t h, uint32_t i, int32_t el) {
        seen.push_back({h, i, el, "all"});
    };
    const uint32_t t0 = pool.Now;
    const int32_t a = pool.Add(100, [&](TTimerPool*, int32_t h, uint32_t i, int32_t el) {
        seen.push_back({h, i, el, "own"});
    });
    const int32_t b = pool.Add(200, {});
    EXPECT_NE(a, b);
    EXPECT_NE(a, 0);
    EXPECT_EQ(pool.IndexOf(b), 1);
    EXPECT_EQ(pool.IndexOf(12345), -1);

    pool.Now = t0 + 110;
    pool.Tick(); // a fires; b (200) does not
    pool.Now = t0 + 220;
    pool.Tick(); // both fire
    ASSERT_EQ(seen.size(), 5u);
    auto who = [&](size_t i) { return seen[i].Who + std::to_string(seen[i].Handle); };
    EXPECT_EQ(who(0), "own" + std::to_string(a));
    EXPECT_EQ(who(1), "all" + std::to_string(a));
    EXPECT_EQ(seen[1].Elapsed, 110);
    EXPECT_EQ(who(3), "all" + std::to_string(a));
    EXPECT_EQ(seen[3].Elapsed, 220); // 110 + 110
    EXPECT_EQ(who(4), "all" + std::to_string(b));
    EXPECT_EQ(seen[4].Elapsed, 220);
    EXPECT_EQ(seen[4].Interval, 200u);
}

TEST(TimerPool, ElapsedTimeSaturatesInsteadOfWrapping)
{
    FrozenPool pool;
    pool.Now = 0;
    pool.Add(1000, {});
    pool.Now = 0x7FFF0000;
    pool.Tick();
    EXPECT_EQ(pool.Entries(0).ElapsedTime, 0x7FFF0000);
    pool.Now = 0xFFFE0000;
    pool.Tick();
    EXPECT_EQ(pool.Entries(0).ElapsedTime, INT32_MAX);
    pool.Now = 0x10000;
    pool.Tick();
    EXPECT_EQ(pool.Entries(0).ElapsedTime, INT32_MAX);
}

TEST(TimerPool, NonRecurringEntryFiresOnceAndIsGoneAfterItsTick)
{
    FrozenPool pool;
    int fired = 0;
    uint32_t stateInHandler = 99;
    const uint32_t t0 = pool.Now;
    const int32_t h = pool.Add(
        100,
        [&](TTimerPool* p, int32_t handle, uint32_t, int32_t) {
            ++fired;
            stateInHandler = p->Entries(p->IndexOf(handle)).State;
        },
        /*Recurring=*/false);
    EXPECT_EQ(pool.Period(), 100u);
    EXPECT_TRUE(pool.TimerActive());
    pool.Now = t0 + 100;
    pool.Tick();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(stateInHandler, TTimerEntry::RemovalPending); // still listed while its handlers run
    EXPECT_EQ(pool.IndexOf(h), -1);
    EXPECT_EQ(pool.EnabledCount(), 0);
    EXPECT_EQ(pool.Period(), 0u);
    EXPECT_FALSE(pool.TimerActive());
    pool.Now = t0 + 300;
    pool.Tick();
    EXPECT_EQ(fired, 1);
}

// Three due entries; the handler of one of them acts on the pool while it fires.
class TimerPoolHandlers : public ::testing::Test {
protected:
    void SetUp() override
    {
        t0 = pool.Now;
        for (const char* name : {"A", "B", "C"})
            handles.push_back(pool.Add(100, [this, name](TTimerPool* p, int32_t h, uint32_t, int32_t) {
                fired.push_back(name);
                if (action.count(name))
                    action[name](*p, h);
            }));
        pool.Now = t0 + 100;
    }
    FrozenPool pool;
    uint32_t t0 = 0;
    std::vector<int32_t> handles;
    std::vector<std::string> fired;
    std::map<std::string, std::function<void(TTimerPool&, int32_t)>> action;
};

TEST_F(TimerPoolHandlers, RemovingItselfIsDeferredAndTheNextEntryIsNotSkipped)
{
    int countInHandler = 0;
    uint32_t stateInHandler = 99;
    action["A"] = [&](TTimerPool& p, int32_t h) {
        p.Remove(h);
        p.Remove(h); // a second request changes nothing
        countInHandler = p.Count();
        stateInHandler = p.Entries(0).State;
    };
    pool.Tick();
    EXPECT_EQ(countInHandler, 3);
    EXPECT_EQ(stateInHandler, TTimerEntry::RemovalPending);
    EXPECT_EQ(fired, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(pool.Count(), 2);
    EXPECT_EQ(pool.IndexOf(handles[0]), -1);
    EXPECT_EQ(pool.EnabledCount(), 2);
}

TEST_F(TimerPoolHandlers, RemovingOtherEntriesNeitherSkipsNorRepeatsAny)
{
    action["B"] = [&](TTimerPool& p, int32_t) {
        p.Remove(handles[0]); // already fired, idle: deleted at once
    };
    pool.Tick();
    EXPECT_EQ(fired, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(pool.Count(), 2);

    fired.clear();
    pool.Now += 100;
    action["B"] = [&](TTimerPool& p, int32_t) { p.Remove(handles[2]); }; // not yet fired: never fires
    pool.Tick();
    EXPECT_EQ(fired, (std::vector<std::string>{"B"}));
    EXPECT_EQ(pool.Count(), 1);
}

TEST_F(TimerPoolHandlers, NonRecurringEntryRemovedAgainByItsHandlerIsFreedOnce)
{
    const int32_t d = pool.Add(
        0, [&](TTimerPool* p, int32_t h, uint32_t, int32_t) { p->Remove(h); }, /*Recurring=*/false);
    pool.Tick();
    EXPECT_EQ(pool.IndexOf(d), -1);
    EXPECT_EQ(pool.Count(), 3);
}

TEST_F(TimerPoolHandlers, ClearFromAHandlerLeavesTheFiringEntryUntilItsFiringEnds)
{
    int countInHandler = -1;
    action["B"] = [&](TTimerPool& p, int32_t) {
        p.Clear();
        countInHandler = p.Count();
    };
    pool.Tick();
    EXPECT_EQ(countInHandler, 1); // only B, marked for removal
    EXPECT_EQ(fired, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(pool.Count(), 0);
    EXPECT_EQ(pool.Period(), 0u);
    EXPECT_FALSE(pool.TimerActive());
}

TEST_F(TimerPoolHandlers, ANestedTickLeavesTheFiringEntryAlone)
{
    // A handler that pumps messages may run a second Tick inside the first.
    action["A"] = [&](TTimerPool& p, int32_t) { p.Tick(); };
    pool.Tick();
    // The inner tick fires B and C; the outer one finds them fired at this very time.
    EXPECT_EQ(fired, (std::vector<std::string>{"A", "B", "C"}));
    for (int i = 0; i < pool.Count(); ++i)
        EXPECT_EQ(pool.Entries(i).State, TTimerEntry::Idle);
}

TEST_F(TimerPoolHandlers, AThrowingHandlerClosesItsFiringAndTheRestWaits)
{
    action["A"] = [&](TTimerPool& p, int32_t h) {
        p.Remove(h);
        throw std::runtime_error("boom");
    };
    EXPECT_THROW(pool.Tick(), std::runtime_error);
    EXPECT_EQ(fired, (std::vector<std::string>{"A"}));
    EXPECT_EQ(pool.IndexOf(handles[0]), -1); // its pending removal still happened
    ASSERT_EQ(pool.Count(), 2);
    EXPECT_EQ(pool.Entries(0).State, TTimerEntry::Idle);
    pool.Tick();
    EXPECT_EQ(fired, (std::vector<std::string>{"A", "B", "C"}));
}

TEST(TimerPool, WindowTimerDrivesTicksAndSwallowsHandlerExceptions)
{
    zt::ExceptionCapture reports;
    TTimerPool pool;
    int fired = 0;
    pool.Add(60, [&](TTimerPool*, int32_t, uint32_t, int32_t) {
        ++fired;
        throw std::runtime_error("handler failure");
    });
    EXPECT_EQ(pool.Period(), 60u);
    EXPECT_TRUE(pool.TimerActive());
    ASSERT_TRUE(zt::WaitUntil([&] { return fired >= 2; }));
    EXPECT_TRUE(reports.Reports.empty());
    pool.Clear();
    EXPECT_FALSE(pool.TimerActive());
}

TEST(TimerPool, RefusedWindowTimerRaisesNoTimersAvailable)
{
    // A thread without an event loop cannot run a window timer.
    bool raised = false;
    uint32_t period = 0;
    int count = 0;
    std::thread t([&] {
        FrozenPool pool;
        try {
            pool.Add(100, {});
        } catch (const ENoTimersAvailable&) {
            raised = true;
        }
        period = pool.Period();
        count = pool.Count();
    });
    t.join();
    EXPECT_TRUE(raised);
    EXPECT_EQ(period, 100u);
    EXPECT_EQ(count, 1);
}

TEST(TimerPool, GlobalPoolIsOneInstanceUntilFreed)
{
    TTimerPool* g = GlobalTimerPool();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(GlobalTimerPool(), g);
    g->Add(1000, {});
    FreeGlobalTimerPool();
    FreeGlobalTimerPool(); // a second call is harmless
    TTimerPool* again = GlobalTimerPool();
    EXPECT_EQ(again->Count(), 0);
    FreeGlobalTimerPool();
}

} // namespace
