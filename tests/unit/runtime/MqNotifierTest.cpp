#include <gtest/gtest.h>

#include <QStringList>
#include <thread>

#include "MqNotifiers.h"
#include "MqRuntime.h"
#include "RuntimeTestSupport.h"
#include "TestSupport.h"

using namespace std::chrono_literals;

namespace {

class MqNotifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MqRuntimeStart();
        m_nt = GetNotifierThread();
        ASSERT_TRUE(m_nt);
        ASSERT_TRUE(zt::WaitUntil([] { return CanWait.load(); }));
        m_notifier.OnNotify = [this](QObject* sender, const IMqNotifyParamsPtr& params) {
            Senders.push_back(sender);
            Seen.push_back(QString("%1:%2").arg(params->Name()).arg(params->Param(0).AsInteger()));
        };
    }
    void TearDown() override
    {
        if (m_nt)
            m_nt->SetPaused(false);
    }
    // Stops the notifier thread's own sweeps; the test drives them.
    void Pause()
    {
        m_nt->SetPaused(true);
        const uint32_t loop = m_nt->LoopCount();
        ASSERT_TRUE(zt::WaitUntil([&] { return m_nt->LoopCount() >= loop + 2; }));
    }
    void Resume() { m_nt->SetPaused(false); }
    // Runs f on a thread of its own (a producer) and waits for it.
    static void OnThread(const std::function<void()>& f) { std::thread(f).join(); }
    void NotifyRange(const QString& name, int from, int to, TMqNotifyQueueStrategy s = qsDefault)
    {
        for (int i = from; i <= to; ++i)
            m_notifier.Notify(&m_notifier, name, {i}, s);
    }

    TNotifierThread* m_nt = nullptr;
    TMqNotifier m_notifier;
    QStringList Seen;
    std::vector<QObject*> Senders;
};

} // namespace

TEST_F(MqNotifierTest, ANotificationFromAWorkerReachesOnNotifyOnTheUiThread)
{
    QObject sender;
    bool onUi = false;
    m_notifier.OnNotify = [&](QObject* s, const IMqNotifyParamsPtr& params) {
        onUi = plat::IsUiThread();
        Senders.push_back(s);
        Seen.push_back(params->Name() + ":" + params->Param(1).AsString());
    };
    OnThread([&] { m_notifier.Notify(&sender, "Connected", {1, QString("up")}, qsDefault); });
    ASSERT_TRUE(zt::WaitUntil([&] { return Seen.size() == 1; }));
    EXPECT_TRUE(onUi);
    EXPECT_EQ(Seen[0], "Connected:up");
    EXPECT_EQ(Senders[0], &sender);

    // The short form: the notifier itself is the sender, the name is empty.
    m_notifier.OnNotify = [&](QObject* s, const IMqNotifyParamsPtr& params) {
        Senders.push_back(s);
        Seen.push_back(params->Name() + ":" + QString::number(params->Param(0).AsInteger()));
    };
    OnThread([&] { m_notifier.Notify({5}, qsDefault); });
    ASSERT_TRUE(zt::WaitUntil([&] { return Seen.size() == 2; }));
    EXPECT_EQ(Seen[1], ":5");
    EXPECT_EQ(Senders[1], &m_notifier);
    EXPECT_TRUE(zt::WaitUntil([&] { return m_notifier.QueueFor(CurrentHostThread())->Outstanding() == 0; }));
}

TEST_F(MqNotifierTest, AFullQueueUnderDisposeDropsTheOldestStillInTheRing)
{
    Pause();
    OnThread([&] { NotifyRange("n", 1, 11, qsDispose); });
    EXPECT_EQ(m_notifier.Dropped(), 1);
    Resume();
    ASSERT_TRUE(zt::WaitUntil([&] { return Seen.size() == 10; }));
    zt::PumpFor(30ms);
    QStringList expected;
    for (int i = 2; i <= 11; ++i)
        expected << QString("n:%1").arg(i);
    EXPECT_EQ(Seen, expected);
}

// Items already posted to the window cannot be discarded: the new one goes beyond the depth.
TEST_F(MqNotifierTest, AFullQueueWhoseItemsArePostedGrowsInsteadOfDropping)
{
    Pause();
    TNotificationItemQueue* queue = m_notifier.QueueFor(CurrentHostThread());
    NotifyRange("n", 1, 10, qsDispose);
    m_nt->Sweep(); // posted as messages; this (user-interface) thread does not pump yet
    EXPECT_EQ(queue->Outstanding(), 10);
    NotifyRange("n", 11, 11, qsDispose);
    EXPECT_EQ(m_notifier.Dropped(), 0);
    EXPECT_EQ(queue->Outstanding(), 11);
    Resume();
    ASSERT_TRUE(zt::WaitUntil([&] { return Seen.size() == 11; }));
    EXPECT_EQ(Seen.front(), "n:1");
    EXPECT_EQ(Seen.back(), "n:11");
    EXPECT_TRUE(zt::WaitUntil([&] { return queue->Outstanding() == 0; }));
}

// Under qsWait (also as the notifier's default) a worker blocks until the user-interface thread delivers.
TEST_F(MqNotifierTest, WaitBlocksAWorkerUntilTheUiThreadDelivers)
{
    for (bool asDefault : {false, true}) {
        SCOPED_TRACE(asDefault);
        Seen.clear();
        m_notifier.SetQueueDepth(1);
        m_notifier.SetQueueStrategy(asDefault ? qsWait : qsDispose);
        std::atomic<int> returned{0};
        std::thread producer([&] {
            for (int i = 1; i <= 3; ++i) {
                m_notifier.Notify(&m_notifier, "w", {i}, asDefault ? qsDefault : qsWait);
                ++returned;
            }
        });
        // Without pumping events here the user-interface thread takes no item, so the
        // second notification cannot return.
        for (int i = 0; i < 5000 && returned < 1; ++i)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(returned, 1);
        ASSERT_TRUE(zt::WaitUntil([&] { return returned == 3 && Seen.size() == 3; }));
        producer.join();
        EXPECT_EQ(Seen, (QStringList{"w:1", "w:2", "w:3"}));
        EXPECT_EQ(m_notifier.Dropped(), 0);
    }
}

TEST_F(MqNotifierTest, DefaultStrategyReadsBackAsDisposeAndDepthIsKeptInRange)
{
    EXPECT_EQ(m_notifier.QueueStrategy(), qsDispose);
    m_notifier.SetQueueStrategy(qsWait);
    m_notifier.SetQueueStrategy(qsDefault);
    EXPECT_EQ(m_notifier.QueueStrategy(), qsDispose);
    EXPECT_EQ(m_notifier.QueueDepth(), 10);
    m_notifier.SetQueueDepth(0);
    EXPECT_EQ(m_notifier.QueueDepth(), 1);
    m_notifier.SetQueueDepth(9999);
    EXPECT_EQ(m_notifier.QueueDepth(), 500);
}

// The user-interface thread would wait for its own deliveries; it must not block.
TEST_F(MqNotifierTest, AUiThreadProducerUnderWaitNeverBlocksAndLosesNothing)
{
    m_notifier.SetQueueDepth(2);
    NotifyRange("u", 1, 5, qsWait);
    EXPECT_EQ(m_notifier.Dropped(), 0);
    ASSERT_TRUE(zt::WaitUntil([&] { return Seen.size() == 5; }));
    EXPECT_EQ(Seen.back(), "u:5");
}

TEST_F(MqNotifierTest, TwoProducersGetTwoQueuesAndInterleaveOneByOne)
{
    Pause();
    OnThread([&] { NotifyRange("a", 1, 3); });
    OnThread([&] { NotifyRange("b", 1, 3); });
    EXPECT_EQ(m_notifier.QueueCount(), 2);
    Resume();
    ASSERT_TRUE(zt::WaitUntil([&] { return Seen.size() == 6; }));
    const QString first = Seen[0].left(1);
    const QString second = first == "a" ? "b" : "a";
    EXPECT_EQ(Seen, (QStringList{first + ":1", second + ":1", first + ":2", second + ":2", first + ":3",
                                 second + ":3"}));
}

// Items in the ring and items already posted are both dropped unseen when their notifier goes.
TEST_F(MqNotifierTest, ANotifierDestroyedWithItemsInFlightDeliversNoneOfThem)
{
    const int queuesBefore = NotificationItemQueueCount.load();
    int delivered = 0;
    Pause();
    {
        auto* notifier = new TMqNotifier;
        notifier->OnNotify = [&](QObject*, const IMqNotifyParamsPtr&) { ++delivered; };
        for (int i = 0; i < 3; ++i)
            notifier->Notify({i}, qsDispose);
        m_nt->Sweep();
        for (int i = 0; i < 2; ++i)
            notifier->Notify({i}, qsDispose);
        EXPECT_EQ(NotificationItemQueueCount.load(), queuesBefore + 1);
        delete notifier;
    }
    EXPECT_EQ(NotificationItemQueueCount.load(), queuesBefore);
    Resume();
    zt::PumpFor(50ms);
    EXPECT_EQ(delivered, 0);
    EXPECT_TRUE(zt::WaitUntil([] { return MessageBacklog.load() == 0; }));
}

TEST_F(MqNotifierTest, ExceptionsReachTheApplicationHandlerAndDeliveryGoesOn)
{
    zt::ExceptionCapture reports;
    OnThread([&] { m_nt->PostException(std::make_exception_ptr(EMqThreadBusy("Execute: Thread busy"))); });
    ASSERT_TRUE(zt::WaitUntil([&] { return reports.Reports.size() == 1; }));
    EXPECT_EQ(reports.Reports[0].ClassName, "EMqThreadBusy");
    EXPECT_EQ(reports.Reports[0].Message, "Execute: Thread busy");

    m_notifier.OnNotify = [&](QObject*, const IMqNotifyParamsPtr& params) {
        const int i = params->Param(0).AsInteger();
        Seen.push_back(QString::number(i));
        if (i == 1)
            throw EQueueEmpty("Queue is empty");
    };
    OnThread([&] { NotifyRange("x", 1, 2); });
    ASSERT_TRUE(zt::WaitUntil([&] { return Seen.size() == 2; }));
    ASSERT_EQ(reports.Reports.size(), 2u);
    EXPECT_EQ(reports.Reports[1].ClassName, "EQueueEmpty");
}

TEST_F(MqNotifierTest, AResultIsPostedBeyondTheDepthAndNeverDropped)
{
    m_notifier.SetQueueDepth(1);
    Pause();
    NotifyRange("n", 1, 1, qsDispose);
    QStringList got;
    auto result = std::make_shared<TMqResultProxy>();
    m_notifier.PostResult(&m_notifier, result, [&](QObject* s, const IMqNotifyParamsPtr& p) {
        got << QString("result %1 %2 %3").arg(s == &m_notifier).arg(p->Name().isEmpty()).arg(p->Count());
    });
    EXPECT_EQ(m_notifier.QueueFor(CurrentHostThread())->Outstanding(), 2);
    NotifyRange("n", 2, 2, qsDispose); // drops n:1, the oldest disposable item
    EXPECT_EQ(m_notifier.Dropped(), 1);
    NotifyRange("n", 3, 3, qsDispose); // the head is the result now: not disposable, so the queue grows
    EXPECT_EQ(m_notifier.Dropped(), 1);
    Resume();
    ASSERT_TRUE(zt::WaitUntil([&] { return got.size() == 1 && Seen.size() == 2; }));
    EXPECT_EQ(got[0], "result 1 1 0");
    EXPECT_EQ(Seen, (QStringList{"n:2", "n:3"}));
}

// Runs last in this file: stopping the runtime reports nothing left over, and it starts again.
TEST(MqRuntime, StopsWithNothingLeftOverAndStartsAgain)
{
    {
        TMqNotifier notifier;
        int seen = 0;
        notifier.OnNotify = [&](QObject*, const IMqNotifyParamsPtr&) { ++seen; };
        std::thread([&] { notifier.Notify({1}, qsDefault); }).join();
        ASSERT_TRUE(zt::WaitUntil([&] { return seen == 1; }));
    }
    ASSERT_TRUE(zt::WaitUntil([] { return MessageBacklog.load() == 0; }));
    // Workers given up by earlier tests may still be on their way out; only adopted threads stay.
    ASSERT_TRUE(zt::WaitUntil([] { return HostThreadCount.load() == HostThreads()->Count(); }))
        << HostThreadCount.load() << " host threads, " << HostThreads()->Count() << " adopted";
    zt::LogCapture log;
    MqRuntimeStop();
    EXPECT_FALSE(MqRuntimeRunning());
    const QStringList lines = log.Lines();
    const int at = lines.indexOf("finalization: MqThreads");
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines.mid(at + 1, 1), QStringList{"NotifierThread Poll terminated"});
    const int last = lines.indexOf("Remaining HostThread Count is 0");
    ASSERT_GE(last, 0) << lines.join("\n").toStdString();
    EXPECT_EQ(lines.mid(last, 3),
              (QStringList{"Remaining HostThread Count is 0", "Exiting with message backlog of 0",
                           "Exiting with NotificationItemQueueCount of 0"}));
    EXPECT_EQ(lines.mid(last + 3),
              (QStringList{"finalization: MqUtils", QString("Exiting with g_ParamListCount = 0")}));

    MqRuntimeStart();
    EXPECT_TRUE(MqRuntimeRunning());
    EXPECT_TRUE(GetNotifierThread());
}
