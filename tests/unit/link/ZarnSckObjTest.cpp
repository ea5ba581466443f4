#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <climits>

#include "KivZarnClSk.h"
#include "TestSupport.h"

namespace {
// The link with its worker held still, so the state machine runs only when the test ticks it.
struct HeldLink {
    explicit HeldLink(const QString& address)
        : Link(nullptr, [this](int code, const QString& text) { Notes.emplace_back(code, text); })
    {
        Link.SetInterval(INT_MAX);
        Link.CreateClient();
        Link.SetAddress(address);
    }
    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            Link.StateMachineTick();
    }
    TZarnSckObj Link;
    std::vector<std::pair<int, QString>> Notes;
};
} // namespace

TEST(ZarnSckObj, WaitsThreeHundredTicksBeforeConnectingAndCutsTheHostTo50)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress("127.0.0.45"), TZarnSckObj::Port));
    HeldLink h(QString("127.0.0.45"));
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsDisconnected);
    h.Tick();
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsWaiting);
    h.Tick(300);
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsWaiting);
    EXPECT_EQ(h.Link.CurrentHost(), "127.0.0.45");
    h.Tick();
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsConnecting);
    ASSERT_TRUE(zt::WaitUntil([&] { return h.Link.IsLinkUp(); }));
    EXPECT_TRUE(h.Link.IsConnected());
    ASSERT_TRUE(zt::WaitUntil([&] { return !h.Notes.empty(); }));
    EXPECT_EQ(h.Notes.front(), std::make_pair(1, QString("Connected to 127.0.0.45")));

    const QString longName = QString(60, 'x');
    h.Link.SetAddress(longName);
    EXPECT_EQ(h.Link.GetAddress(), longName);
    h.Tick(); // connected: the new host is taken and the link starts over
    EXPECT_EQ(h.Link.CurrentHost(), QString(50, 'x'));
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsDisconnected);
}

TEST(ZarnSckObj, AnAttemptWithoutAnswerIsAbandonedAfter300TicksAndRetried)
{
    HeldLink h(QString("127.0.0.46")); // nobody listens there
    h.Tick(302);
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsConnecting);
    ASSERT_TRUE(zt::WaitUntil([&] { return !h.Link.LastError().isEmpty(); }));
    h.Tick(300);
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsConnecting);
    h.Tick();
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsDisconnected);
    h.Tick();
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsWaiting);
    EXPECT_TRUE(h.Notes.empty()); // a refused attempt is never reported
}

TEST(ZarnSckObj, OneDisconnectedNotificationAndShutdownStopsTheMachine)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress("127.0.0.47"), TZarnSckObj::Port));
    HeldLink h(QString("127.0.0.47"));
    h.Tick(302);
    ASSERT_TRUE(zt::WaitUntil([&] { return h.Link.IsLinkUp() && server.hasPendingConnections(); }));
    server.nextPendingConnection()->close();
    ASSERT_TRUE(zt::WaitUntil([&] { return h.Notes.size() == 2; }));
    EXPECT_EQ(h.Notes.back(), std::make_pair(2, QString("Disconnected")));
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsDisconnected);

    h.Tick(302); // reconnect, then shut down while connected
    ASSERT_TRUE(zt::WaitUntil([&] { return h.Link.IsLinkUp(); }));
    ASSERT_TRUE(zt::WaitUntil([&] { return h.Notes.size() == 3; }));
    h.Link.RequestShutdown();
    EXPECT_EQ(h.Link.LinkState(), TZarnSckObj::lsCloseRequested);
    EXPECT_FALSE(h.Link.IsLinkUp());
    zt::PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(h.Notes.size(), 3u); // nothing reaches the owner after shutdown
}
