#include <gtest/gtest.h>

#include "E2EFixture.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {
std::vector<int> SequenceOf(const std::vector<TZarnFrame>& frames, uint8_t type)
{
    std::vector<int> seq;
    for (const auto& f : frames)
        if (f.MsgType == type)
            seq.push_back(f.Payload[0] | f.Payload[1] << 8);
    return seq;
}

std::vector<int> Range(int n)
{
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = i;
    return v;
}
} // namespace

TEST(LinkE2E, FirstConnectAfterTheWaitThenFramesReachTheDispatcherInOrder)
{
    zsim::ZarnSim sim(SimAt("127.0.0.51"));
    ASSERT_TRUE(sim.Start());
    Monitor m("127.0.0.51");
    EXPECT_EQ(m.Section(2), "Searching for ZARN ... @ 127.0.0.51");
    EXPECT_EQ(sim.Connections(), 0);
    ASSERT_TRUE(m.WaitConnected());
    EXPECT_EQ(m.Section(0), "Connected to 127.0.0.51");
    EXPECT_EQ(m.Section(2).left(9), "Connected");

    for (int i = 0; i < 40; ++i)
        sim.InjectFrame(99, {uint8_t(i), uint8_t(i >> 8)});
    ASSERT_TRUE(zt::WaitUntil([&] { return SequenceOf(m.Dispatched, 99).size() == 40; }));
    EXPECT_EQ(SequenceOf(m.Dispatched, 99), Range(40));
}

TEST(LinkE2E, GarbageAndFramesSplitOverManyWritesLoseNoGoodFrame)
{
    zsim::ZarnSim sim(SimAt("127.0.0.52"));
    sim.SetFault(zsim::SimFault::Garbage, 40);
    sim.SetFault(zsim::SimFault::Split, 3);
    ASSERT_TRUE(sim.Start());
    Monitor m("127.0.0.52");
    ASSERT_TRUE(m.WaitConnected());
    for (int i = 0; i < 60; ++i)
        sim.InjectRaw([&] {
            zsim::Bytes b{0x02, 0x00, 0x0E, 99, 2, 1, 1, 0, 0x03}; // wrong marker: dropped
            zsim::Bytes good{0x02, 0x00, 0x0D, 99, 2, uint8_t(i), uint8_t(i >> 8), 0x5A, 0x03};
            b.insert(b.end(), {0xFF, 0x13, 0x03});
            b.insert(b.end(), good.begin(), good.end());
            return b;
        }());
    ASSERT_TRUE(zt::WaitUntil([&] { return SequenceOf(m.Dispatched, 99).size() >= 60; }, 15s));
    EXPECT_EQ(SequenceOf(m.Dispatched, 99), Range(60));
}

TEST(LinkE2E, SilentDeviceIsClosedByTheNoDataRuleAndReconnects)
{
    zsim::ZarnSim sim(SimAt("127.0.0.53"));
    sim.SetFault(zsim::SimFault::Silent, 1);
    ASSERT_TRUE(sim.Start());
    Monitor m("127.0.0.53");
    ASSERT_TRUE(m.WaitConnected());
    m.Frame.TimerZarn->stop(); // drive the supervision by hand
    for (int t = 0; t < 21; ++t)
        m.Frame.TimerZarnTimer();
    EXPECT_EQ(m.Section(2), "Connected - No Data");
    for (int t = 0; t < 4 * 21; ++t)
        m.Frame.TimerZarnTimer();
    ASSERT_TRUE(zt::WaitUntil([&] { return !m.Link->IsLinkUp() && !m.Frame.Connected(); }));
    ASSERT_TRUE(zt::WaitUntil([&] { return m.Section(0) == "Disconnected"; }));
    EXPECT_EQ(m.Section(2), "Searching for ZARN ... @ 127.0.0.53");
    ASSERT_TRUE(m.WaitConnected());
    EXPECT_EQ(sim.Connections(), 2);
}

TEST(LinkE2E, AddressChangeWhileConnectedMovesToTheNewDevice)
{
    zsim::ZarnSim a(SimAt("127.0.0.54")), b(SimAt("127.0.0.55"));
    ASSERT_TRUE(a.Start());
    ASSERT_TRUE(b.Start());
    Monitor m("127.0.0.54");
    ASSERT_TRUE(m.WaitConnected());

    std::vector<QString> texts;
    m.Frame.CalibFrame->editIPAddress->setText("127.0.0.55");
    m.Frame.editIPAddressExit();
    texts.push_back(m.Section(2));
    ASSERT_TRUE(zt::WaitUntil([&] { return m.Section(2) == "Searching for ZARN ... @ 127.0.0.55"; }));
    EXPECT_EQ(texts.front(), "Disconnecting ...");
    ASSERT_TRUE(m.WaitConnected());
    EXPECT_EQ(m.Section(0), "Connected to 127.0.0.55");
    EXPECT_EQ(b.Connections(), 1);
}

TEST(LinkE2E, DeviceGoneIsReportedOnceThenFoundAgain)
{
    zsim::ZarnSim sim(SimAt("127.0.0.56"));
    ASSERT_TRUE(sim.Start());
    Monitor m("127.0.0.56");
    ASSERT_TRUE(m.WaitConnected());
    sim.Stop();
    ASSERT_TRUE(zt::WaitUntil([&] { return m.Section(0) == "Disconnected"; }));
    EXPECT_FALSE(m.Frame.Connected());
    EXPECT_EQ(m.Section(1), "S/N");
    EXPECT_EQ(m.Section(2), "Searching for ZARN ... @ 127.0.0.56");
    zt::PumpFor(300ms); // further attempts fail quietly: no second "Disconnected"
    EXPECT_EQ(m.Section(2), "Searching for ZARN ... @ 127.0.0.56");
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(m.WaitConnected(20s));
    EXPECT_EQ(m.Notifications, (std::vector<int>{1, 2, 1}));
}

TEST(LinkE2E, ShutdownEndsPromptlyConnectedOrNot)
{
    zsim::ZarnSim sim(SimAt("127.0.0.57"));
    ASSERT_TRUE(sim.Start());
    {
        auto m = std::make_unique<Monitor>("127.0.0.57");
        ASSERT_TRUE(m->WaitConnected());
        m->Frame.BeginShutdown();
        EXPECT_TRUE(zt::WaitUntil([&] { return !m->Frame.ShutdownInProgress(); }, 2s));
    }
    EXPECT_TRUE(zt::WaitUntil([&] { return !sim.IsConnected(); }));
    {
        auto m = std::make_unique<Monitor>("127.0.0.58"); // nobody there
        m->Frame.BeginShutdown();
        EXPECT_TRUE(zt::WaitUntil([&] { return !m->Frame.ShutdownInProgress(); }, 2s));
    }
}
