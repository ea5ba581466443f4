#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "E2EFixture.h"
#include "KivZarnOpFrame.h"

using namespace e2e;
using namespace std::chrono_literals;

TEST(CommandsE2E, EachMainFunctionButtonSendsItsMessageAndTheNewStateShows)
{
    zsim::ZarnSim sim(SimAt("127.0.0.71", 6));
    ASSERT_TRUE(sim.Start());
    Monitor m("127.0.0.71");
    m.Frame.SetMaintenanceMode(true); // so btnTelem is there for this early generation
    ASSERT_TRUE(m.WaitConnected());
    ASSERT_TRUE(zt::WaitUntil([&] { return m.Frame.Generation() == 6; }));
    QLabel* state = m.Frame.OpFrame->lblZARN_State;

    struct Press {
        QPushButton* Button;
        uint8_t Type;
    };
    const Press presses[] = {{m.Frame.OpFrame->btnIdle, 1},
                             {m.Frame.OpFrame->btnPilot, 2},
                             {m.Frame.OpFrame->btnTelem, 3},
                             {m.Frame.OpFrame->btnSwap, 4}};
    for (const auto& p : presses) {
        SCOPED_TRACE(int(p.Type));
        sim.ClearFrames();
        p.Button->click();
        ASSERT_TRUE(zt::WaitUntil([&] { return sim.CountFrames(p.Type) == 1; }));
        // The device's state moves, and the Operation page shows the state it reports.
        ASSERT_TRUE(zt::WaitUntil(
            [&] { return state->text().startsWith(QStringLiteral("  %1:").arg(sim.MainState())); }, 5s))
            << state->text().toStdString() << " vs " << sim.MainState();
    }
}
