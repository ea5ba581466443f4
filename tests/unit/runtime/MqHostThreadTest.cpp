#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <future>
#include <pthread.h>
#include <thread>

#include "MqRuntime.h"
#include "MqThreads.h"
#include "RuntimeTestSupport.h"
#include "TestSupport.h"

using namespace std::chrono_literals;

namespace {

// A pool stand-in: counts its calls and runs the work item's methods the way a pool does.
class TTestGuest : public IMqThreadGuest {
public:
    std::atomic<int> Prologs{0}, Epilogs{0}, Executes{0};
    bool PrologResult = true;

    bool Prolog() override
    {
        ++Prologs;
        return PrologResult;
    }
    void Epilog() override { ++Epilogs; }
    void Execute(const IMqParamsPtr& Work) override
    {
        ++Executes;
        auto proxy = std::dynamic_pointer_cast<IMqExecuteProxy>(Work);
        if (auto onExecute = proxy->GetOnExecute())
            onExecute(proxy->GetHost().get(), Work);
        if (MqCurrentThreadAbandoned())
            return; // given up meanwhile: this guest may be gone
        if (auto after = proxy->GetOnAfterExecute())
            after(proxy->GetCaller().get());
    }
};

class MqHostThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MqRuntimeStart();
        ASSERT_TRUE(zt::WaitUntil([] { return CanWait.load(); }));
    }
};

template <class E>
void ExpectRaises(const std::function<void()>& f, const char* className, const char* message)
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << className;
    } catch (const E& e) {
        EXPECT_STREQ(e.ClassName(), className);
        EXPECT_STREQ(e.what(), message);
    }
}

// An APC handler that keeps the wait going and counts its calls.
struct TKeepWaiting : IMqAPCHandler {
    std::atomic<int>* Calls;
    explicit TKeepWaiting(std::atomic<int>* calls) : Calls(calls) {}
    bool Handle() override
    {
        ++*Calls;
        return true;
    }
};

} // namespace

TEST_F(MqHostThreadTest, CurrentHostThreadIsStablePerThreadAndAWorkerSeesItself)
{
    TMqHostThread* ui = CurrentHostThread();
    EXPECT_EQ(ui, CurrentHostThread());
    EXPECT_FALSE(ui->IsWorker());
    EXPECT_FALSE(ui->Terminated());

    TTestGuest guest;
    auto worker = TMqHostThread::CreateWorker(&guest, "AVeryLongWorkerName");
    std::atomic<bool> done{false};
    TMqHostThread *seenHost = nullptr, *seenCurrent = nullptr, *seenCaller = nullptr;
    QString seenArg;
    char name[32] = {};
    {
        QString temporary = "copied";
        worker->Execute(
            nullptr,
            [&](TMqHostThread* caller) {
                seenCaller = caller;
                done = true;
            },
            [&](TMqHostThread* host, const IMqParamsPtr& params) {
                seenHost = host;
                seenCurrent = CurrentHostThread();
                seenArg = params->Param(0).AsString();
                pthread_getname_np(pthread_self(), name, sizeof(name));
            },
            {}, {temporary});
        temporary.fill('x');
    }
    ASSERT_TRUE(zt::WaitUntil([&] { return done.load(); }));
    EXPECT_EQ(seenHost, worker.get());
    EXPECT_EQ(seenCurrent, worker.get());
    EXPECT_EQ(seenCaller, ui);
    EXPECT_EQ(seenArg, "copied");
    EXPECT_STREQ(name, "AVeryLongWorker"); // the system keeps 15 characters
    EXPECT_EQ(worker->ExecutionCount(), 1u);
    worker->Stop();
}

TEST_F(MqHostThreadTest, AWorkerWithAnItemPendingOrRunningIsBusy)
{
    TTestGuest guest;
    auto worker = TMqHostThread::CreateWorker(&guest);
    std::atomic<int> ran{0};
    auto count = [&](TMqHostThread*, const IMqParamsPtr&) { ++ran; };

    // Holding the lock keeps the worker from picking the item up, so it stays pending.
    ASSERT_TRUE(worker->TryLock());
    worker->Execute(nullptr, {}, count, {}, {});
    EXPECT_TRUE(worker->State() & hsPending);
    ExpectRaises<EMqThreadBusy>([&] { worker->Execute(nullptr, {}, count, {}, {}); }, "EMqThreadBusy",
                                "Execute: Thread busy");
    std::async(std::launch::async, [&] { EXPECT_FALSE(worker->TryLock()); }).get();
    worker->Unlock();
    ASSERT_TRUE(zt::WaitUntil([&] { return ran == 1; }));

    // While an item runs the worker holds its lock.
    std::atomic<bool> release{false};
    worker->Execute(nullptr, {},
                    [&](TMqHostThread*, const IMqParamsPtr&) {
                        while (!release)
                            std::this_thread::sleep_for(1ms);
                    },
                    {}, {});
    ASSERT_TRUE(zt::WaitUntil([&] { return (worker->State() & hsBusy) != 0; }));
    ExpectRaises<EMqThreadBusy>([&] { worker->Execute(nullptr, {}, count, {}, {}); }, "EMqThreadBusy",
                                "Execute: Thread busy");
    release = true;
    ASSERT_TRUE(zt::WaitUntil([&] { return worker->TryLock(); }));
    worker->Unlock();
    worker->Execute(nullptr, {}, count, {}, {});
    ASSERT_TRUE(zt::WaitUntil([&] { return ran == 2; }));
    EXPECT_EQ(worker->ExecutionCount(), 3u);
    worker->Stop();
}

TEST_F(MqHostThreadTest, AFailedPrologLeavesTheWorkerUnusableAndStoppingItIncineratesIt)
{
    zt::LogCapture log;
    TTestGuest guest;
    guest.PrologResult = false;
    auto worker = TMqHostThread::CreateWorker(&guest);
    std::atomic<int> ran{0};
    worker->Execute(nullptr, {}, [&](TMqHostThread*, const IMqParamsPtr&) { ++ran; }, {}, {});
    ASSERT_TRUE(zt::WaitUntil([&] { return worker->State() == hsUnusable; }));
    EXPECT_FALSE(worker->TryLock());
    EXPECT_THROW(worker->Execute(nullptr, {}, {}, {}, {}), EMqThreadBusy);

    worker->Stop();
    EXPECT_TRUE(worker->Abandoned());
    const int begin = log.IndexOf("<TMqThread.Incinerate>");
    EXPECT_GE(begin, 0);
    EXPECT_GT(log.IndexOf("</TMqThread.Incinerate>"), begin);
    ASSERT_TRUE(zt::WaitUntil([&] { return (worker->State() & hsFinished) != 0; }));
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(guest.Prologs, 1);
    EXPECT_EQ(guest.Executes, 0);
    EXPECT_EQ(guest.Epilogs, 0);
}

TEST_F(MqHostThreadTest, StoppingAnIdleWorkerEndsItsLoopByTheTerminateApcAndRunsTheEpilog)
{
    for (bool prologRan : {false, true}) {
        SCOPED_TRACE(prologRan);
        zt::LogCapture log;
        TTestGuest guest;
        auto worker = TMqHostThread::CreateWorker(&guest);
        if (prologRan) {
            worker->Execute(nullptr, {}, {}, {}, {});
            ASSERT_TRUE(zt::WaitUntil([&] { return worker->TryLock(); }));
            worker->Unlock();
        } else {
            ASSERT_TRUE(zt::WaitUntil([&] { return (worker->State() & hsRunning) != 0; }));
        }
        worker->Stop();
        EXPECT_TRUE(worker->State() & hsFinished);
        EXPECT_FALSE(worker->State() & hsUnusable);
        EXPECT_FALSE(worker->Abandoned());
        EXPECT_EQ(guest.Epilogs, prologRan ? 1 : 0);
        const int ended = log.IndexOf("HostThread Execute Poll terminated");
        EXPECT_GE(ended, 0);
        EXPECT_GT(log.IndexOf("Thread terminated by EMqThreadTerminated"), ended);
        EXPECT_FALSE(log.Has("<TMqThread.Incinerate>"));
        EXPECT_EQ(worker.use_count(), 1); // the thread has let go of it
    }
}

// A work item that ignores the stop request is abandoned after the bound; when it
// finally returns, its thread leaves without touching the guest, which is gone by then.
TEST_F(MqHostThreadTest, AWorkerThatWillNotStopIsAbandonedAfterTheBound)
{
    zt::LogCapture log;
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto started = std::make_shared<std::atomic<bool>>(false);
    TMqHostThreadPtr worker;
    {
        auto guest = std::make_unique<TTestGuest>();
        worker = TMqHostThread::CreateWorker(guest.get());
        worker->Execute(nullptr, {},
                        [release, started](TMqHostThread*, const IMqParamsPtr&) {
                            *started = true;
                            while (!*release)
                                std::this_thread::sleep_for(1ms);
                        },
                        {}, {});
        ASSERT_TRUE(zt::WaitUntil([&] { return started->load(); }));
        worker->SetStopBound(50);
        worker->Stop();
        EXPECT_TRUE(worker->Abandoned());
        EXPECT_TRUE(log.Has("</TMqThread.Incinerate>"));
    }
    *release = true;
    ASSERT_TRUE(zt::WaitUntil([&] { return worker.use_count() == 1; }));
    EXPECT_TRUE(worker->State() & hsFinished);
}

TEST_F(MqHostThreadTest, AlertableWaitKeepsWaitingOrEndsAsTheDepositedHandlerSays)
{
    std::atomic<TMqHostThread*> host{nullptr};
    std::atomic<int> keepCalls{0};
    std::atomic<int64_t> waited{-1};
    std::thread t([&] {
        host = CurrentHostThread();
        const int64_t start = GlobalTimer().Elapsed();
        AlertableWait(20000);
        waited = GlobalTimer().Elapsed() - start;
    });
    ASSERT_TRUE(zt::WaitUntil([&] { return host.load() != nullptr; }));
    host.load()->QueueAPC(
        [&] { CurrentHostThread()->SetAPCHandler(std::make_shared<TKeepWaiting>(&keepCalls)); });
    ASSERT_TRUE(zt::WaitUntil([&] { return keepCalls == 1; }));
    EXPECT_EQ(waited, -1);
    host.load()->QueueAPC([] { CurrentHostThread()->SetAPCHandler(SignalHandler()); });
    t.join();
    EXPECT_GE(waited, 0);
    EXPECT_LT(waited, 20000); // ended by the signal, not by the timeout
}

TEST_F(MqHostThreadTest, AnApcWithoutHandlerAndASecondHandlerAreErrors)
{
    std::atomic<TMqHostThread*> host{nullptr};
    std::promise<std::exception_ptr> failure;
    std::thread t([&] {
        host = CurrentHostThread();
        try {
            AlertableWait(20000);
            failure.set_value(nullptr);
        } catch (...) {
            failure.set_value(std::current_exception());
        }
    });
    ASSERT_TRUE(zt::WaitUntil([&] { return host.load() != nullptr; }));
    host.load()->QueueAPC([] {});
    auto e = failure.get_future().get();
    t.join();
    ASSERT_TRUE(e);
    ExpectRaises<EMqThread>([&] { std::rethrow_exception(e); }, "EMqThread", "Unexpected APC");

    TMqHostThread* self = CurrentHostThread();
    self->SetAPCHandler(SignalHandler());
    ExpectRaises<EMqThreadUnhandledAPC>([&] { self->SetAPCHandler(SignalHandler()); },
                                        "EMqThreadUnhandledAPC", "Previous APC not handled");
    EXPECT_FALSE(self->HandleAPC());
    ExpectRaises<EMqThread>([&] { self->HandleAPC(); }, "EMqThread", "Unexpected APC");
}

// On the user-interface thread the wait keeps the event loop going and still ends for an APC.
TEST_F(MqHostThreadTest, AlertableWaitOnTheUiThreadProcessesEventsAndRunsApcs)
{
    TMqHostThread* ui = CurrentHostThread();
    std::atomic<bool> timerRan{false};
    QTimer::singleShot(5, [&] { timerRan = true; });
    std::thread t([&] {
        for (int i = 0; i < 10000 && !timerRan; ++i)
            std::this_thread::sleep_for(1ms);
        ui->QueueAPC([] { CurrentHostThread()->SetAPCHandler(SignalHandler()); });
    });
    const int64_t start = GlobalTimer().Elapsed();
    AlertableWait(20000);
    const int64_t waited = GlobalTimer().Elapsed() - start;
    t.join();
    EXPECT_TRUE(timerRan);
    EXPECT_LT(waited, 20000);

    // A failed callee raises in the caller at its next alertable wait.
    ui->QueueAPC(MqRaiseCalleeErrorAPC());
    ExpectRaises<EMqThreadCalleeError>([] { AlertableWait(20000); }, "EMqThreadCalleeError",
                                       "Execution of ThreadedAction Failed");
}

TEST_F(MqHostThreadTest, AQuitDuringAnAlertableWaitRaisesAndStillEndsTheApplicationLoop)
{
    bool raised = false;
    QString message;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(20, [] { QCoreApplication::exit(7); });
        try {
            AlertableWait(20000);
        } catch (const EMqApplicationTerminated& e) {
            raised = true;
            message = e.what();
        }
    });
    EXPECT_EQ(QCoreApplication::exec(), 7);
    EXPECT_TRUE(raised);
    EXPECT_EQ(message, "Application Terminated");
}

TEST_F(MqHostThreadTest, AResultWaitReturnsAtOnceWhenDoneAndEndsWhenSignalled)
{
    zt::LogCapture log;
    TMqHostThread* ui = CurrentHostThread();
    auto done = std::make_shared<TMqResultProxy>();
    EXPECT_TRUE(log.Has(QString("Create TMqResultProxy SN = %1").arg(done->SerialNumber())));
    EXPECT_TRUE(done->Name().isEmpty());
    EXPECT_EQ(done->Count(), 0);
    done->Signal(ui);
    EXPECT_FALSE(ui->HasAPCs()); // nobody waited: no APC
    const int64_t start = GlobalTimer().Elapsed();
    done->Wait(20000);
    EXPECT_LT(GlobalTimer().Elapsed() - start, 20000);

    auto pending = std::make_shared<TMqResultProxy>();
    std::thread signaller([&] {
        for (int i = 0; i < 10000 && pending->Waiters() == 0; ++i)
            std::this_thread::sleep_for(1ms);
        pending->Signal(ui);
    });
    const int64_t start2 = GlobalTimer().Elapsed();
    pending->Wait(20000);
    const int64_t waited = GlobalTimer().Elapsed() - start2;
    signaller.join();
    EXPECT_TRUE(pending->Done());
    EXPECT_EQ(pending->Waiters(), 0);
    EXPECT_LT(waited, 20000);
}

TEST(MqHostThreadList, AFullListDropsTheThreadsThatHaveEnded)
{
    const int before = HostThreadCount.load();
    {
        THostThreadList list(3);
        for (int i = 0; i < 3; ++i)
            std::thread([&] { list.Add(); }).join();
        EXPECT_EQ(list.Count(), 3);
        EXPECT_EQ(HostThreadCount.load(), before + 3);
        std::thread([&] { list.Add(); }).join();
        EXPECT_EQ(list.Count(), 1);
        EXPECT_EQ(HostThreadCount.load(), before + 1);
    }
    EXPECT_EQ(HostThreadCount.load(), before);
    EXPECT_EQ(THostThreadList(0).Limit(), 1);
}
