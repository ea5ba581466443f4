#include <gtest/gtest.h>

#include <pthread.h>
#include <thread>

#include "Clock.h"
#include "KivThd.h"
#include "KivUtils.h"
#include "MqRuntime.h"
#include "TestSupport.h"

using namespace std::chrono_literals;

namespace {

class ThdTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MqRuntimeStart();
        ASSERT_TRUE(zt::WaitUntil([] { return CanWait.load(); }));
    }
    void TearDown() override { plat::Clock::ResetOffsets(); }
};

// What a tick handler saw, written on the worker and read on the test thread.
struct TTickLog {
    std::mutex Lock;
    int Ticks = 0;
    bool OnUi = false;
    QObject* Sender = nullptr;
    QString Arg;
    std::string ThreadName;
    TMqHostThreadPtr Host;

    void Record(QObject* sender, const IMqParamsPtr& params)
    {
        char name[32] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        std::lock_guard lock(Lock);
        ++Ticks;
        OnUi = OnUi || plat::IsUiThread();
        Sender = sender;
        Arg = params->Param(0).AsString();
        ThreadName = name;
        Host = CurrentHostThreadRef();
    }
    int Count()
    {
        std::lock_guard lock(Lock);
        return Ticks;
    }
};

} // namespace

TEST_F(ThdTest, TicksOnItsOwnPoolThreadAndForwardsNotificationsToTheUiThread)
{
    TTickLog log;
    QStringList notified;
    bool notifiedOnUi = false;
    auto* thd = new TThd;
    thd->SetOnWorkerNotify([&](QObject* sender, const IMqNotifyParamsPtr& params) {
        notifiedOnUi = plat::IsUiThread();
        notified << QString("%1 %2").arg(sender == thd->Notifier()).arg(params->Param(0).AsInteger());
    });
    thd->SetOnTick([&, thd](QObject* sender, const IMqParamsPtr& params) {
        log.Record(sender, params);
        if (log.Count() == 2)
            thd->Notify({7}, qsDefault);
    });
    EXPECT_EQ(thd->Interval(), 100);
    EXPECT_EQ(thd->objectName(), "TThd");
    ASSERT_TRUE(zt::WaitUntil([&] { return log.Count() >= 3 && notified.size() == 1; }));
    EXPECT_EQ(thd->RunState(), TThd::rsRunning);
    {
        std::lock_guard lock(log.Lock);
        EXPECT_FALSE(log.OnUi);
        EXPECT_EQ(log.Sender, thd);
        EXPECT_EQ(log.Arg, "Hello, World");
        EXPECT_EQ(log.ThreadName, "TThd");
    }
    EXPECT_TRUE(notifiedOnUi);
    EXPECT_EQ(notified, QStringList{"1 7"});

    TMqHostThreadPtr host;
    {
        std::lock_guard lock(log.Lock);
        host = log.Host;
    }
    delete thd;
    // The loop has ended and its thread is gone; nothing ticks any more.
    EXPECT_TRUE(host->State() & hsFinished);
    const int ticks = log.Count();
    zt::PumpFor(150ms);
    EXPECT_EQ(log.Count(), ticks);
}

TEST_F(ThdTest, SettingTheClockBackAnHourMakesTheNextDueTestFireAtOnce)
{
    TTickLog log;
    TThd thd;
    thd.SetInterval(60000); // nothing would be due for a minute
    thd.SetOnTick([&](QObject* s, const IMqParamsPtr& p) { log.Record(s, p); });
    zt::PumpFor(100ms);
    EXPECT_EQ(log.Count(), 0);
    plat::Clock::SetUtcOffset(-std::chrono::hours(1));
    ASSERT_TRUE(zt::WaitUntil([&] { return log.Count() == 1; }, 2000ms));
    // It goes on from the new time: the next tick is a minute away again.
    EXPECT_NEAR(thd.LastTick(), UtcNow(), MsToDays(5000));
    zt::PumpFor(100ms);
    EXPECT_EQ(log.Count(), 1);
}

// An OnTick that raises ends the loop for good; the stop handler then arrives as the
// after-execute event and leaves the worker idle and disabled at once.
TEST_F(ThdTest, AnExceptionInOnTickEndsTheLoopAndTheStopHandlerFollows)
{
    TThd thd;
    thd.SetInterval(10);
    std::atomic<int> ticks{0};
    thd.SetOnTick([&](QObject*, const IMqParamsPtr&) {
        ++ticks;
        throw EMqException("tick failed");
    });
    ASSERT_TRUE(zt::WaitUntil([&] { return thd.RunState() == TThd::rsIdle; }));
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(thd.Enabled());
    EXPECT_FALSE(thd.OnTick());
}

// Destroyed right after creation, before its loop has begun: no five-second wait, no tick.
TEST_F(ThdTest, ADestroyedWorkerStopsPromptlyFromAnyState)
{
    for (int pause : {0, 1, 30, 130}) {
        SCOPED_TRACE(pause);
        std::atomic<int> ticks{0};
        auto* thd = new TThd;
        thd->SetInterval(10);
        thd->SetOnTick([&](QObject*, const IMqParamsPtr&) { ++ticks; });
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        const int64_t start = GlobalTimer().Elapsed();
        delete thd;
        EXPECT_LT(GlobalTimer().Elapsed() - start, 2000); // far below the 5 s bound of a stuck loop
        const int after = ticks;
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(ticks, after);
    }
}

// A loop stuck in OnTick delays destruction by the stop wait only; its thread is given
// up and, when it finally returns, touches nothing of the freed worker.
TEST_F(ThdTest, ALoopThatWillNotStopDelaysDestructionByTheStopWaitOnly)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto host = std::make_shared<TMqHostThreadPtr>();
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto* thd = new TThd;
    thd->SetInterval(10);
    thd->SetOnTick([release, host, entered](QObject*, const IMqParamsPtr&) {
        *host = CurrentHostThreadRef();
        *entered = true;
        while (!*release)
            std::this_thread::sleep_for(1ms);
    });
    ASSERT_TRUE(zt::WaitUntil([&] { return entered->load(); }));
    const int64_t start = GlobalTimer().Elapsed();
    delete thd;
    const int64_t took = GlobalTimer().Elapsed() - start;
    EXPECT_LT(took, 8000); // the 5 s stop wait, not a second wait for the pool's thread
    EXPECT_TRUE((*host)->Abandoned());
    *release = true;
    ASSERT_TRUE(zt::WaitUntil([&] { return ((*host)->State() & hsFinished) != 0; }));
}

TEST(ThdTmrList, EntriesFireOncePerIntervalRestartAndStop)
{
    TThdTmrList list;
    std::vector<std::pair<int, int>> fired;
    auto entry = std::make_unique<TThdTmrEntry>();
    entry->State = TThdTmrEntry::Running;
    entry->Interval = 1000;
    entry->Callback = [&](TThdTmrList* l, int index, int32_t a, int32_t b) {
        EXPECT_EQ(l, &list);
        EXPECT_EQ(a + b, 0);
        fired.emplace_back(index, static_cast<int>(fired.size()));
    };
    list.Add(std::make_unique<TThdTmrEntry>()); // stopped: never fires
    list.Add(std::move(entry));
    TThdTmrEntry* e = list.Get(1);

    auto at = [](int ms) { plat::Clock::SetUtcOffset(std::chrono::milliseconds(ms)); };
    at(0);
    list.Tick(); // arms
    EXPECT_GT(e->LastFire, 0);
    at(500);
    list.Tick();
    EXPECT_TRUE(fired.empty());
    at(1100);
    list.Tick();
    EXPECT_EQ(fired.size(), 1u);
    at(2200);
    list.Tick();
    EXPECT_EQ(fired.size(), 2u); // one interval later, not two
    EXPECT_EQ(fired.back().first, 1);

    e->State = TThdTmrEntry::RestartRequested;
    list.Tick();
    EXPECT_EQ(e->LastFire, 0);
    EXPECT_EQ(e->State, TThdTmrEntry::Running);
    e->State = TThdTmrEntry::Stopped;
    at(9000);
    list.Tick();
    EXPECT_EQ(e->LastFire, 0);
    EXPECT_EQ(fired.size(), 2u);
    EXPECT_EQ(list.Get(0)->LastFire, 0);
    plat::Clock::ResetOffsets();

    // Entries added and never removed are reported when the list goes.
    try {
        list.Destroy();
        ADD_FAILURE() << "no exception";
    } catch (const EMqException& ex) {
        EXPECT_STREQ(ex.what(), "Rem: 0  Add: 2  Cnt: 2");
    }
    EXPECT_EQ(list.Count(), 2);
    list.Remove(0);
    list.Remove(0);
    list.Destroy();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ThdTmrList, AFailingCallbackEndsOnlyThatTick)
{
    TThdTmrList list;
    int second = 0;
    for (int i = 0; i < 2; ++i) {
        auto entry = std::make_unique<TThdTmrEntry>();
        entry->State = TThdTmrEntry::Running;
        entry->Interval = 10;
        entry->Callback = [&second, i](TThdTmrList*, int, int32_t, int32_t) {
            if (i == 0)
                throw std::runtime_error("boom");
            ++second;
        };
        list.Add(std::move(entry));
    }
    list.Tick();
    plat::Clock::SetUtcOffset(std::chrono::milliseconds(100));
    list.Tick();
    EXPECT_EQ(second, 0);
    plat::Clock::ResetOffsets();
    list.Remove(1);
    list.Remove(0);
}
