#include <gtest/gtest.h>

#include <pthread.h>
#include <thread>

#include "MqRuntime.h"
#include "MqThreadedActions.h"
#include "RuntimeTestSupport.h"
#include "TestSupport.h"

using namespace std::chrono_literals;

namespace {

class MqThreadedActionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MqRuntimeStart();
        ASSERT_TRUE(zt::WaitUntil([] { return CanWait.load(); }));
        Action.setObjectName("Worker");
    }

    // An OnExecute that waits until released, counting starts and ends.
    void Blocking()
    {
        Action.SetOnExecute([this](QObject*, const IMqParamsPtr&) {
            ++Started;
            while (!Release)
                std::this_thread::sleep_for(1ms);
            ++Ended;
        });
    }

    TMqThreadedAction Action;
    std::atomic<int> Started{0}, Ended{0};
    std::atomic<bool> Release{false};
};

template <class E>
void ExpectRaises(const std::function<void()>& f, const QString& className, const QString& message)
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << className.toStdString();
    } catch (const E& e) {
        EXPECT_EQ(QString(e.ClassName()), className);
        EXPECT_EQ(QString(e.what()), message);
    }
}

} // namespace

TEST_F(MqThreadedActionTest, RunsOnAWorkerAndDeliversTheResultOnTheUiThread)
{
    QString arg;
    bool onWorker = false;
    char name[32] = {};
    Action.SetOnExecute([&](QObject* sender, const IMqParamsPtr& params) {
        EXPECT_EQ(sender, &Action);
        onWorker = !plat::IsUiThread();
        arg = params->Param(0).AsString();
        pthread_getname_np(pthread_self(), name, sizeof(name));
    });
    QStringList after;
    Action.SetOnAfterExecute([&](QObject* sender, const IMqNotifyParamsPtr& params) {
        after << QString("%1 %2 %3 %4")
                     .arg(sender == &Action)
                     .arg(plat::IsUiThread())
                     .arg(params->Name().isEmpty())
                     .arg(params->Count());
    });
    TMqHostThreadPtr host = Action.Execute({"Hello, World"});
    ASSERT_TRUE(host);
    ASSERT_TRUE(zt::WaitUntil([&] { return after.size() == 1; }));
    EXPECT_TRUE(onWorker);
    EXPECT_EQ(arg, "Hello, World");
    EXPECT_STREQ(name, "Worker");
    EXPECT_EQ(after[0], "1 1 1 0");
    EXPECT_GT(Action.LastExecuted(), 0);
    EXPECT_EQ(Action.ThreadPool()->Name(), "WorkerThreadPool");
}

TEST_F(MqThreadedActionTest, NothingStartsWhenDisabledWithoutOnExecuteOrAtTheFanout)
{
    EXPECT_FALSE(Action.Execute()); // no OnExecute
    Blocking();
    Action.SetEnabled(false);
    EXPECT_FALSE(Action.Execute());
    Action.SetEnabled(true);
    ASSERT_TRUE(Action.Execute());
    ASSERT_TRUE(zt::WaitUntil([&] { return Started == 1; }));
    EXPECT_FALSE(Action.Execute()); // fanout 1: the first is still running
    Release = true;
    ASSERT_TRUE(zt::WaitUntil([&] { return Action.Active() == 0 && Ended == 1; }));
    EXPECT_EQ(Started, 1);
}

TEST_F(MqThreadedActionTest, FanoutMakesWorkersOnDemandAndLoweringItTrimsIdleOnes)
{
    Blocking();
    Action.SetFanout(3);
    std::vector<TMqHostThreadPtr> hosts;
    for (int i = 0; i < 3; ++i)
        hosts.push_back(Action.Execute());
    for (auto& h : hosts) {
        ASSERT_TRUE(h);
        EXPECT_EQ(h->Name(), "Worker");
    }
    EXPECT_NE(hosts[0], hosts[1]);
    EXPECT_NE(hosts[1], hosts[2]);
    EXPECT_EQ(Action.ThreadPool()->ThreadCount(), 3);
    ASSERT_TRUE(zt::WaitUntil([&] { return Started == 3; }));
    EXPECT_FALSE(Action.Execute());
    Release = true;
    ASSERT_TRUE(zt::WaitUntil([&] { return Action.Active() == 0 && Action.ThreadPool()->Active() == 0; }));
    Action.SetFanout(1);
    ASSERT_TRUE(zt::WaitUntil([&] {
        for (auto& h : hosts)
            if (h->State() & hsBusy)
                return false;
        return true;
    }));
    ASSERT_TRUE(Action.Execute());
    EXPECT_EQ(Action.ThreadPool()->ThreadCount(), 1);
}

TEST_F(MqThreadedActionTest, AnUnhandledExceptionReachesTheUiThreadAndSkipsOnAfterExecute)
{
    zt::ExceptionCapture reports;
    int after = 0;
    Action.SetOnAfterExecute([&](QObject*, const IMqNotifyParamsPtr&) { ++after; });
    Action.SetOnExecute([](QObject*, const IMqParamsPtr&) { throw EQueueEmpty("Queue is empty"); });
    ASSERT_TRUE(Action.Execute());
    ASSERT_TRUE(zt::WaitUntil([&] { return reports.Reports.size() == 1; }));
    EXPECT_EQ(reports.Reports[0].ClassName, "EQueueEmpty");
    EXPECT_EQ(reports.Reports[0].Message, "Queue is empty");

    // Handled by OnException: it stays away from the user-interface thread.
    std::atomic<QObject*> seenSender{nullptr};
    Action.SetOnException([&](QObject* sender, const std::exception& e, bool& handled) {
        seenSender = sender;
        handled = QString(e.what()) == "Queue is empty";
    });
    ASSERT_TRUE(zt::WaitUntil([&] { return Action.CanExecute(); }));
    ASSERT_TRUE(Action.Execute());
    ASSERT_TRUE(zt::WaitUntil([&] { return seenSender != nullptr; }));
    zt::PumpFor(50ms);
    EXPECT_EQ(reports.Reports.size(), 1u);
    EXPECT_EQ(seenSender, &Action);
    EXPECT_EQ(after, 0);
}

// A prolog that fails leaves its worker unusable; the next Execute replaces the worker.
TEST_F(MqThreadedActionTest, AFailedPrologDiscardsTheWorkerAndTheNextExecuteMakesANewOne)
{
    zt::ExceptionCapture reports;
    zt::LogCapture log;
    std::atomic<int> prologs{0}, ran{0}, epilogs{0};
    std::atomic<QObject*> prologSender{nullptr};
    TMqCustomThreadPool* pool = Action.ThreadPool();
    pool->SetOnProlog([&](QObject* sender) {
        prologSender = sender;
        if (++prologs == 1)
            throw EMqThreadBusy("Execute: Thread busy");
    });
    pool->SetOnEpilog([&](QObject*) { ++epilogs; });
    Action.SetOnExecute([&](QObject*, const IMqParamsPtr&) { ++ran; });
    TMqHostThreadPtr first = Action.Execute();
    ASSERT_TRUE(first);
    ASSERT_TRUE(zt::WaitUntil([&] { return first->State() == hsUnusable; }));
    ASSERT_TRUE(zt::WaitUntil([&] { return reports.Reports.size() == 1; })); // routed, unhandled
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(prologSender, &Action);

    TMqHostThreadPtr second = Action.Execute();
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_TRUE(first->Abandoned()); // its running flag was cleared: it is incinerated
    EXPECT_TRUE(log.Has("<TMqThread.Incinerate>"));
    ASSERT_TRUE(zt::WaitUntil([&] { return ran == 1; }));
    EXPECT_EQ(pool->ThreadCount(), 1);
    EXPECT_EQ(epilogs, 0);
    Action.Shutdown(); // stops the worker: the epilog runs for the one whose prolog succeeded
    EXPECT_EQ(epilogs, 1);
}

TEST(MqThreadedActionList, ANewListHasOneUnnamedCategoryAndNamesTheNextOnes)
{
    TMqThreadedActionList list;
    EXPECT_EQ(list.Version(), "1.2.2");
    list.SetVersion("9.9");
    EXPECT_EQ(list.Version(), "1.2.2");
    ASSERT_EQ(list.CategoryCount(), 1);
    EXPECT_EQ(list.Categories(0)->Name(), "");
    EXPECT_EQ(list.Categories(0)->DisplayName(), "(No Category)");
    TMqCategory* c1 = list.AddCategory();
    EXPECT_EQ(c1->Name(), "Category1");
    EXPECT_EQ(c1->ThreadPool()->Name(), "Category1ThreadPool");
    TMqCategory* c2 = list.AddCategory();
    EXPECT_EQ(c2->Name(), "Category2");

    ExpectRaises<EMqThreadedActionCategoryAlreadyExists>([&] { c2->SetName("Category1"); },
                                                         "EMqThreadedActionCategoryAlreadyExists",
                                                         "Category [Category1] already exists");
    EXPECT_EQ(c2->Name(), "Category2");
    c2->SetName("CATEGORY1"); // another case is another name here
    EXPECT_EQ(c2->Name(), "CATEGORY1");
    c2->SetName("Disk I/O");
    EXPECT_EQ(c2->ThreadPool()->Name(), "DiskIOThreadPool");
    EXPECT_EQ(list.FindCategory("disk i/o"), c2);
    ExpectRaises<EMqThreadedActionCategoryDoesNotExist>([&] { list.FindCategory("Nope"); },
                                                        "EMqThreadedActionCategoryDoesNotExist",
                                                        "Category [Nope] does not exist");
}

TEST(MqThreadedActionList, ActionsShareTheirCategorysPoolAndRefuseUnknownCategories)
{
    MqRuntimeStart();
    TMqThreadedActionList list;
    list.AddCategory()->SetName("Net");
    auto* a = new TMqThreadedAction;
    a->setObjectName("A");
    a->SetParent(&list);
    a->SetCategory("net");
    a->SetCategoryThreadPool(true);
    EXPECT_EQ(a->Index(), 0);
    EXPECT_EQ(a->ThreadPool(), list.FindCategory("Net")->ThreadPool());

    ExpectRaises<EMqThreadedActionCategoryDoesNotExist>([&] { a->SetCategory("Disk"); },
                                                        "EMqThreadedActionCategoryDoesNotExist",
                                                        "Category [Disk] does not exist");
    EXPECT_EQ(a->Category(), "net");

    char name[32] = {};
    std::atomic<bool> ran{false};
    a->SetOnExecute([&](QObject*, const IMqParamsPtr&) {
        pthread_getname_np(pthread_self(), name, sizeof(name));
        ran = true;
    });
    ASSERT_TRUE(a->Execute());
    ASSERT_TRUE(zt::WaitUntil([&] { return ran.load(); }));
    EXPECT_STREQ(name, "net");

    // Moving the only action off a category releases that category's threads, which
    // the category makes again when an action comes back.
    ASSERT_TRUE(zt::WaitUntil([&] { return a->Active() == 0; }));
    a->SetCategory("");
    EXPECT_EQ(list.FindCategory("Net")->ThreadPool()->ThreadCount(), 0);
    a->SetCategory("Net");
    ran = false;
    ASSERT_TRUE(zt::WaitUntil([&] { return a->Execute() != nullptr; }));
    ASSERT_TRUE(zt::WaitUntil([&] { return ran.load(); }));

    list.SetActive(false);
    EXPECT_FALSE(a->Execute());
    // Deleting the category leaves the action without one.
    list.DeleteCategory(list.FindCategory("Net"));
    EXPECT_EQ(a->Category(), "");
}
