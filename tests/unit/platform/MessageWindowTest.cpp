#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>
#include <vector>

#include "Clock.h"
#include "MessageWindow.h"
#include "TestSupport.h"

using namespace plat;

TEST(MessageWindow, PostsFromManyThreadsArriveOnOwnerThreadInPerThreadOrder)
{
    std::vector<std::pair<uintptr_t, intptr_t>> got;
    bool onOwner = true;
    MessageWindow w([&](uint32_t msg, uintptr_t wp, intptr_t lp) {
        EXPECT_EQ(msg, WM_USER + 1);
        onOwner = onOwner && IsUiThread();
        got.emplace_back(wp, lp);
    });
    std::vector<std::thread> threads;
    for (uintptr_t t = 0; t < 4; ++t)
        threads.emplace_back([&w, t] {
            for (intptr_t i = 0; i < 100; ++i)
                w.Post(WM_USER + 1, t, i);
        });
    for (auto& t : threads)
        t.join();
    ASSERT_TRUE(zt::WaitUntil([&] { return got.size() == 400; }));
    EXPECT_TRUE(onOwner);
    std::vector<intptr_t> next(4, 0);
    for (auto [t, i] : got)
        EXPECT_EQ(i, next[t]++);
}

TEST(MessageWindow, PendingPostsAreReleasedWhenTheWindowGoes)
{
    int delivered = 0;
    std::vector<intptr_t> released;
    WindowRef ref;
    {
        MessageWindow w([&](uint32_t, uintptr_t, intptr_t) { ++delivered; });
        w.SetReleaser([&](uint32_t, uintptr_t, intptr_t lp) { released.push_back(lp); });
        ref = w.Ref();
        EXPECT_TRUE(ref.Post(WM_USER, 0, 7));
        EXPECT_TRUE(w.Post(WM_USER, 0, 8));
    }
    EXPECT_EQ(released, (std::vector<intptr_t>{7, 8}));
    EXPECT_FALSE(ref.Alive());
    EXPECT_FALSE(ref.Post(WM_USER, 0, 9)); // the caller keeps its payload
    zt::PumpFor(std::chrono::milliseconds(10));
    EXPECT_EQ(delivered, 0);
}

TEST(MessageWindow, TimerFiresWithItsIdAndStopsWhenKilled)
{
    int ticks = 0;
    MessageWindow w;
    w.SetHandler([&](uint32_t msg, uintptr_t id, intptr_t) {
        if (msg == WM_TIMER && id == 5 && ++ticks == 3)
            w.KillTimer(5);
    });
    w.SetTimer(5, 1);
    ASSERT_TRUE(zt::WaitUntil([&] { return ticks == 3; }));
    EXPECT_FALSE(w.HasTimer(5));
}

TEST(Clock, OffsetsShiftTheClocksAndWrapTheTickCount)
{
    const double before = Clock::UtcNowDays();
    Clock::SetUtcOffset(std::chrono::hours(-1));
    EXPECT_NEAR(before - Clock::UtcNowDays(), 1.0 / 24, 1e-4);
    Clock::SetTickOffset(0);
    Clock::SetTickOffset(0xFFFFFFFFu - 60000u - Clock::TickCount()); // a minute before the wrap
    const uint32_t t0 = Clock::TickCount();
    EXPECT_GE(t0, 0xFFFFFFFFu - 60000u);
    Clock::SetTickOffset(0);
    Clock::SetTickOffset(0xFFFFFFFFu - Clock::TickCount() + 60000u); // a minute after it
    EXPECT_LT(Clock::TickCount(), 120000u);
    Clock::ResetOffsets();
    EXPECT_NEAR(Clock::UtcNowDays(), before, 1e-4);
}
