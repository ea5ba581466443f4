// Every fault the simulator injects, and its connection rules.
#include "SimTestRig.h"

using namespace simtest;
using zsim::SimFault;

namespace {

// Good status frames read until `count` of them came, or nothing arrives for a while.
int ReadStatusFrames(RawClient& c, int count, size_t length = 120)
{
    int n = 0;
    while (n < count) {
        auto f = c.NextFrame(0, Ms(2000));
        if (!f)
            break;
        EXPECT_EQ(f->Payload.size(), length);
        ++n;
    }
    return n;
}

void EnterMainBootloader(SimRig& rig)
{
    rig.Client.SendFrame(10);
    ASSERT_TRUE(rig.Client.NextFrame(10));
}

} // namespace

TEST(SimFault, GarbageBetweenFramesLeavesEveryFrameWhole)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::Garbage, 6);
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(ReadStatusFrames(rig.Client, 30), 30);
    EXPECT_GE(rig.Client.SkippedBytes, 30); // at least one byte before every frame
    rig.Client.SendFrame(14);
    auto id = rig.Client.NextFrame(14);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->Payload.back(), 0);
}

TEST(SimFault, SplitFramesArriveInPieces)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::Split, 3);
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(ReadStatusFrames(rig.Client, 10), 10);
    EXPECT_GE(rig.Client.ReadsEndingInsideFrame, 10);
    EXPECT_GT(rig.Client.Reads, 40);
}

TEST(SimFault, BrokenFramesAmongGoodOnes)
{
    struct Case {
        SimFault Fault;
        int RawClient::*Counter;
        Bytes Signature; // bytes the broken frame starts with
    };
    for (Case c : {Case{SimFault::BadMarker, &RawClient::BadMarkers, {0x02, 0x00, 0x0E}},
                   Case{SimFault::BadLength, &RawClient::BadLengths, {}},
                   Case{SimFault::BadEnd, &RawClient::BadEnds, {}}}) {
        SCOPED_TRACE(zsim::FaultName(c.Fault));
        auto o = FastOptions();
        o.AlarmRate = 0;
        SimRig rig(o);
        rig.Sim.SetFault(c.Fault, 3);
        ASSERT_TRUE(rig.Connect());
        EXPECT_EQ(ReadStatusFrames(rig.Client, 20), 20);
        // Every third frame was broken: about one for every two good ones.
        EXPECT_GE(rig.Client.*c.Counter, 8);
        EXPECT_LE(rig.Client.*c.Counter, 12);
        if (!c.Signature.empty()) {
            auto& r = rig.Client.Received;
            EXPECT_NE(std::search(r.begin(), r.end(), c.Signature.begin(), c.Signature.end()), r.end());
        }
    }
}

TEST(SimFault, SilentDeviceTakesCommandsButSendsNothing)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::Silent);
    ASSERT_TRUE(rig.Connect());
    rig.Client.SendFrame(14);
    rig.Client.SendFrame(1);
    EXPECT_TRUE(rig.Client.QuietFor(Ms(300)));
    EXPECT_EQ(rig.Sim.CountFrames(-1), 2);
    EXPECT_TRUE(rig.Sim.WaitFor([&] { return rig.Sim.MainState() == 1; }));
    rig.Sim.ClearFault(SimFault::Silent);
    EXPECT_TRUE(rig.Client.NextFrame(0));
}

TEST(SimFault, DropAfterClosesEachConnectionAfterNFrames)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::DropAfter, 5);
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(rig.Connect());
        int frames = 0;
        while (rig.Client.NextFrame(-1, Ms(2000)))
            ++frames;
        EXPECT_TRUE(rig.Client.Closed);
        EXPECT_EQ(frames, 5);
        EXPECT_EQ(rig.Sim.Connections(), round);
        ASSERT_TRUE(rig.Sim.WaitFor([&] { return !rig.Sim.IsConnected(); }));
    }
}

TEST(SimFault, SlowBootloaderRepliesComeLate)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::BootDelay, 500);
    ASSERT_TRUE(rig.Connect());
    rig.Client.SendFrameText(10, "I");
    EXPECT_FALSE(rig.Client.NextFrame(10, Ms(150)));
    EXPECT_TRUE(rig.Client.NextFrame(10, Ms(5000)));

    EnterMainBootloader(rig); // the application's own answer is not delayed
    rig.Client.SendText("U");
    EXPECT_FALSE(rig.Client.ReadUntil("U", Ms(150)));
    EXPECT_EQ(rig.Client.ReadUntil("U", Ms(5000)), "U");
}

TEST(SimFault, MuteBootloadersNeverAnswer)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::BootMute);
    ASSERT_TRUE(rig.Connect());
    rig.Client.SendFrameText(10, "I");
    rig.Client.SendFrameText(10, ":0100000307F5");
    EXPECT_FALSE(rig.Client.NextFrame(10, Ms(300)));
    EXPECT_TRUE(rig.Sim.InIrigBootloader());

    EnterMainBootloader(rig);
    rig.Client.SendText("U:0100000307F5");
    EXPECT_TRUE(rig.Client.QuietFor(Ms(300)));
    EXPECT_EQ(rig.Sim.BootRecords().size(), 2u); // both were received all the same
}

TEST(SimFault, BootloaderDropsOrRefusesOneRecord)
{
    const std::string r1 = ":0100100011DE", r2 = ":0100110022CC", r3 = ":0100120033BA";
    for (SimFault fault : {SimFault::BootDropAt, SimFault::BootErrorAt}) {
        SCOPED_TRACE(zsim::FaultName(fault));
        SimRig rig;
        rig.Sim.SetFault(fault, 2);
        ASSERT_TRUE(rig.Connect());
        EnterMainBootloader(rig);
        rig.Client.SendText("U");
        ASSERT_TRUE(rig.Client.ReadUntil("U"));
        rig.Client.SendText(":0100000307F5");
        ASSERT_EQ(rig.Client.ReadUntil("\r\n"), ":0100000307F5.\r\n");
        rig.Client.SendText(r1);
        EXPECT_EQ(rig.Client.ReadUntil("\r\n"), r1 + ".\r\n");
        rig.Client.SendText(r2);
        if (fault == SimFault::BootDropAt)
            EXPECT_FALSE(rig.Client.ReadUntil("\r\n", Ms(300)));
        else
            EXPECT_EQ(rig.Client.ReadUntil("\r\n"), r2 + "\r\n");
        rig.Client.SendText(r3);
        EXPECT_EQ(rig.Client.ReadUntil("\r\n"), r3 + ".\r\n");
        auto flash = rig.Sim.Flash(zsim::SimProcessor::Main);
        EXPECT_EQ(flash[0x10], 0x11);
        EXPECT_EQ(flash[0x11],
                  fault == SimFault::BootDropAt ? 0x22 : 0xFF); // a dropped reply, not a lost write
        EXPECT_EQ(flash[0x12], 0x33);
    }
}

TEST(SimFault, RestartNotAnsweredKeepsTheBootloader)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::BootNoRestart);
    ASSERT_TRUE(rig.Connect());
    EnterMainBootloader(rig);
    rig.Client.SendText(":020000030300F8");
    EXPECT_TRUE(rig.Client.QuietFor(Ms(300)));
    EXPECT_TRUE(rig.Sim.InMainBootloader());
    rig.Sim.ClearFault(SimFault::BootNoRestart);
    rig.Client.SendText(":020000030300F8");
    EXPECT_EQ(rig.Client.ReadUntil("\r\n"), ":020000030300F8.\r\n");
    EXPECT_FALSE(rig.Sim.InMainBootloader());
}

TEST(SimFault, RefusedConnectionsUntilCleared)
{
    SimRig rig;
    rig.Sim.SetFault(SimFault::Refuse);
    ASSERT_TRUE(rig.Sim.WaitFor([&] { return !rig.Sim.IsListening(); }));
    RawClient c;
    EXPECT_FALSE(c.ConnectOnce(rig.Sim.Address(), rig.Sim.Port()));
    EXPECT_EQ(c.LastError, ECONNREFUSED);
    rig.Sim.ClearFault(SimFault::Refuse);
    ASSERT_TRUE(rig.Connect());
    EXPECT_TRUE(rig.Client.NextFrame(0));
}

TEST(SimFault, OneMonitorAtATime)
{
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    RawClient second;
    ASSERT_TRUE(second.Connect(rig.Sim.Address(), rig.Sim.Port()));
    EXPECT_TRUE(second.WaitClosed());
    EXPECT_TRUE(second.Received.empty());
    EXPECT_EQ(rig.Sim.Refused(), 1);
    EXPECT_EQ(rig.Sim.Connections(), 1);
    EXPECT_TRUE(rig.Client.NextFrame(0));
}

TEST(SimFault, SurvivesManyConnectsAndDisconnects)
{
    SimRig rig;
    for (int i = 1; i <= 15; ++i) {
        ASSERT_TRUE(rig.Connect()) << i;
        if (i % 3 == 0) // some leave in the middle of a frame
            rig.Client.Send({0x02, 0x00, 0x0D, 0x14});
        ASSERT_TRUE(rig.Client.NextFrame(0)) << i;
        rig.Client.Close();
        ASSERT_TRUE(rig.Sim.WaitFor([&] { return !rig.Sim.IsConnected(); })) << i;
    }
    EXPECT_EQ(rig.Sim.Connections(), 15);
    // A frame cut off by a disconnection does not spill into the next connection.
    ASSERT_TRUE(rig.Connect());
    rig.Client.SendFrame(14);
    EXPECT_TRUE(rig.Client.NextFrame(14));
    EXPECT_EQ(rig.Sim.CountFrames(14), 1);
    // The simulator can drop a connection on request too.
    rig.Sim.Disconnect();
    EXPECT_TRUE(rig.Client.WaitClosed());
}
