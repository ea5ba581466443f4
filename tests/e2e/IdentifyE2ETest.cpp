#include <gtest/gtest.h>

#include <QLabel>
#include <QRegularExpression>

#include "E2EFixture.h"
#include "KivZarnOpFrame.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {
int Count(const std::vector<TZarnFrame>& frames, uint8_t type)
{
    int n = 0;
    for (const auto& f : frames)
        n += f.MsgType == type;
    return n;
}
} // namespace

class IdentifyE2E : public ::testing::TestWithParam<std::tuple<int, const char*>> {};

TEST_P(IdentifyE2E, IdentifiedAfterTwoTicksThenStatusShownAboutOncePerSecond)
{
    const auto [generation, address] = GetParam();
    zsim::ZarnSim sim(SimAt(address, generation));
    ASSERT_TRUE(sim.Start());
    Monitor m(address);
    m.Frame.ApplyIdentity("no version"); // nothing remembered: status frames wait for the identification
    ASSERT_TRUE(m.WaitConnected());
    ASSERT_TRUE(zt::WaitUntil([&] { return sim.CountFrames(14) == 1; }));
    ASSERT_TRUE(zt::WaitUntil([&] { return m.Frame.Generation() == generation; }));
    EXPECT_EQ(m.Section(1), QString::fromStdString(sim.Identity()));
    EXPECT_EQ(m.Frame.LastIdentityText(), QString::fromStdString(sim.Identity()));

    // The simulator's time changes every second, so an average closes about once a second.
    ASSERT_TRUE(zt::WaitUntil([&] { return m.Section(2).startsWith("Receiving Data - "); }));
    const int before = Count(m.Dispatched, 0);
    zt::PumpFor(3s);
    const int shown = Count(m.Dispatched, 0) - before;
    EXPECT_GE(shown, 2);
    EXPECT_LE(shown, 4);
    EXPECT_TRUE(QRegularExpression("^Receiving Data - \\d\\d \\d\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                    .match(m.Section(2))
                    .hasMatch())
        << m.Section(2).toStdString();
    EXPECT_FALSE(m.Frame.OpFrame->lblZARN_State->text().contains("No Communication"));
}

INSTANTIATE_TEST_SUITE_P(Generations, IdentifyE2E,
                         ::testing::Values(std::make_tuple(3, "127.0.0.61"), std::make_tuple(6, "127.0.0.62"),
                                           std::make_tuple(10, "127.0.0.63")));

TEST(IdentifyE2EFailure, UnknownIdentityRetriesEveryTwoSecondsAndStatusIsIgnored)
{
    zsim::ZarnSim sim(SimAt("127.0.0.64", 11));
    sim.SetIdentity("Model X Version 9");
    ASSERT_TRUE(sim.Start());
    Monitor m("127.0.0.64");
    ASSERT_TRUE(m.WaitConnected());
    ASSERT_TRUE(zt::WaitUntil([&] { return m.Section(1) == "Could Not Identify ZARN"; }));
    EXPECT_EQ(m.Frame.Generation(), 0);
    ASSERT_TRUE(zt::WaitUntil([&] { return sim.CountFrames(14) >= 2; }, 4s));
    EXPECT_EQ(Count(m.Dispatched, 0), 0); // no generation: status frames are not decoded
    EXPECT_FALSE(m.Section(2).startsWith("Receiving Data"));

    // Without status data the no-data rule closes the link (driven by hand here).
    m.Frame.TimerZarn->stop();
    for (int t = 0; t < 5 * 21 && m.Link->IsLinkUp(); ++t) {
        m.Frame.TimerZarnTimer();
        zt::PumpFor(1ms);
    }
    ASSERT_TRUE(zt::WaitUntil([&] { return !m.Frame.Connected(); }));
    EXPECT_EQ(m.Notifications.back(), 2);
}
