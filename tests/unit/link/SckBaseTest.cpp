#include <gtest/gtest.h>

#include "KivZarnSkBase.h"
#include "MqRuntime.h"
#include "TestSupport.h"

namespace {

// A link-like descendant: overrides the connection query and runs its own teardown first.
class TTestLink : public TSckBase {
public:
    explicit TTestLink(std::vector<QString>* order) : m_order(order) {}
    ~TTestLink() override
    {
        m_order->push_back(QString("link teardown, signal client %1").arg(SignalClient() != nullptr));
    }
    bool IsConnected() override { return true; }

private:
    std::vector<QString>* m_order;
};

} // namespace

TEST(SckBase, OwnsASignalClientATimerPoolAndAHiddenWindowAndTearsThemDown)
{
    MqRuntimeStart();
    const int clientsBefore = TmqsSignalServer::ClientCount();
    std::atomic<int> ticks{0};
    plat::WindowRef window;
    {
        TSckBase sck;
        EXPECT_FALSE(sck.IsConnected());
        ASSERT_TRUE(sck.SignalClient());
        EXPECT_EQ(sck.SignalClient()->Name(), "Signal");
        EXPECT_EQ(TmqsSignalServer::ClientCount(), clientsBefore + 1);
        ASSERT_TRUE(sck.TimerPool());
        ASSERT_TRUE(sck.Window());
        window = sck.Window()->Ref();
        EXPECT_TRUE(window.Post(TSckBase::WM_SWALLOWED)); // nothing handles it, nothing fails
        zt::PumpFor(std::chrono::milliseconds(20));

        // The worker runs once, started by the TThd part.
        sck.SetOnTick([&](QObject*, const IMqParamsPtr&) { ++ticks; });
        ASSERT_TRUE(zt::WaitUntil([&] { return ticks >= 1; }));
        EXPECT_EQ(sck.ThreadPool()->ThreadCount(), 1);
        EXPECT_EQ(sck.RunState(), TThd::rsRunning);
    }
    EXPECT_EQ(TmqsSignalServer::ClientCount(), clientsBefore);
    EXPECT_FALSE(window.Alive());
}

TEST(SckBase, ADescendantOverridesIsConnectedAndItsTeardownRunsFirst)
{
    MqRuntimeStart();
    std::vector<QString> order;
    auto* link = new TTestLink(&order);
    TSckBase* base = link;
    EXPECT_TRUE(base->IsConnected());
    delete base;
    EXPECT_EQ(order, std::vector<QString>{"link teardown, signal client 1"});
}
