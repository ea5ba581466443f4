#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include "KivZarnCalibFrame.h"
#include "KivZarnOpFrame.h"
#include "KivZarnProgFrame.h"
#include "KivsZarnFrame.h"
#include "StandInLink.h"
#include "ZarnRxPath.h"
#include "ZarnStatusLine.h"

namespace {
using Bytes = std::vector<uint8_t>;

class MainFrameTest : public ::testing::Test {
protected:
    MainFrameTest()
        : frame(nullptr, [this](TZarnLinkNotifyFn notify) {
              auto l = std::make_unique<TZarnStandInLink>(std::move(notify));
              link = l.get();
              return l;
          })
    {
        frame.SetDeviceAddress("127.0.0.1");
        frame.StartMonitoring();
        frame.TimerZarn->stop(); // the tests tick by hand
    }

    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            frame.TimerZarnTimer();
    }
    QString Section(int i) const { return frame.StatusLine->SectionText(i); }
    void Deliver(uint8_t type, Bytes payload = {})
    {
        TZarnFrame f{};
        ZarnBuildFrame(f, type, payload.data(), static_cast<int>(payload.size()));
        link->RxPath().DeliveryQueue().Append(f);
    }

    TfrmKivsZarn frame;
    TZarnStandInLink* link = nullptr;
};
} // namespace

TEST_F(MainFrameTest, SearchingThenConnectedThenIdentificationOnTheSecondTick)
{
    EXPECT_EQ(Section(0), "No Connection");
    EXPECT_EQ(Section(2), "Searching for ZARN ... @ 127.0.0.1");
    EXPECT_GE(frame.StatusLine->SectionWidth(1), 100);

    link->SetUp(true);
    EXPECT_EQ(Section(0), "Connected to 127.0.0.1");
    EXPECT_EQ(Section(2), "Connected");
    EXPECT_TRUE(frame.Connected());
    Tick();
    EXPECT_TRUE(link->Sent().empty());
    Tick();
    EXPECT_EQ(link->Sent(), (Bytes{0x02, 0x00, 0x0D, 0x0E, 0x00, 0x00, 0x03}));
}

TEST_F(MainFrameTest, SilentDeviceIsReportedEvery21TicksAndClosedOnTheFifth)
{
    link->SetUp(true);
    for (int strike = 1; strike <= 4; ++strike) {
        Tick(20);
        EXPECT_NE(Section(2), "Connected - No Data");
        Tick();
        EXPECT_EQ(Section(2), "Connected - No Data") << strike;
        EXPECT_EQ(frame.NoDataStrikes(), strike);
        frame.StatusLine->SetSection(2, "");
        EXPECT_TRUE(link->IsLinkUp());
    }
    Tick(21);
    EXPECT_FALSE(link->IsLinkUp());
    EXPECT_EQ(Section(0), "Disconnected");
    EXPECT_EQ(Section(2), "Searching for ZARN ... @ 127.0.0.1");
    EXPECT_FALSE(frame.Connected());
}

TEST_F(MainFrameTest, DisplayIsResetEvery20TicksWhileNotConnected)
{
    auto demodVisible = [&] {
        return frame.PageControl->isTabVisible(frame.PageControl->indexOf(frame.tsDemod));
    };
    frame.PageControl->setTabVisible(frame.PageControl->indexOf(frame.tsDemod), true);
    Tick(19);
    EXPECT_TRUE(demodVisible());
    Tick();
    EXPECT_FALSE(demodVisible());
    EXPECT_EQ(frame.NoLinkTicks(), 0);
}

TEST_F(MainFrameTest, AtMostTenFramesPerTickAndNoneWhileNotConnected)
{
    auto& q = link->RxPath().DeliveryQueue();
    for (int i = 0; i < 11; ++i)
        Deliver(99);
    Tick();
    EXPECT_EQ(q.Count(), 11); // the link is not up: nothing is handled
    link->SetUp(true);
    Tick();
    EXPECT_EQ(q.Count(), 1);
    Tick();
    EXPECT_EQ(q.Count(), 0);
}

TEST_F(MainFrameTest, CalibrationStoredHoldsTheMessageFor20Ticks)
{
    link->SetUp(true);
    Deliver(17, {1, 2, 3});
    Tick();
    EXPECT_EQ(Section(2), "Configuration Downloaded");
    EXPECT_EQ(frame.MessageHold(), 20);
}

TEST_F(MainFrameTest, IdentityTextSelectsTheGenerationOrRetriesEvery20Ticks)
{
    link->SetUp(true);
    Tick(2);
    link->ClearSent();
    const char ident[] = "ZARN V3.04 Desktop\0junk";
    Deliver(14, Bytes(ident, ident + sizeof ident - 1));
    Tick();
    EXPECT_EQ(frame.Generation(), 11);
    EXPECT_EQ(Section(1), "ZARN V3.04 Desktop");
    EXPECT_EQ(frame.LastIdentityText(), "ZARN V3.04 Desktop");
    // Outside the Setup page a successful identification asks for the set-up record.
    EXPECT_EQ(link->Sent(), (Bytes{0x02, 0x00, 0x0D, 21, 0x00, 0x00, 0x03}));

    link->ClearSent();
    const char bad[] = "Version 2.00";
    Deliver(14, Bytes(bad, bad + sizeof bad - 1));
    Tick();
    EXPECT_EQ(Section(1), "Could Not Identify ZARN");
    EXPECT_EQ(frame.Generation(), 0);
    EXPECT_TRUE(frame.LastIdentityText().isEmpty());
    // The countdown of 20 starts in the tick that handled the answer.
    Tick(18);
    EXPECT_TRUE(link->Sent().empty());
    Tick();
    EXPECT_EQ(link->Sent(), (Bytes{0x02, 0x00, 0x0D, 14, 0x00, 0x00, 0x03}));
}

TEST_F(MainFrameTest, TransmitFramesExactlyAndBlRecoverHoldsMainTraffic)
{
    link->SetUp(true);
    frame.OpFrame->btnIdle->click();
    EXPECT_EQ(link->Sent(), (Bytes{0x02, 0x00, 0x0D, 0x01, 0x00, 0x00, 0x03}));
    link->ClearSent();
    const uint8_t f[4] = {0x00, 0x00, 0x80, 0x3F};
    frame.Send(5, 4, f);
    EXPECT_EQ(link->Sent(), (Bytes{0x02, 0x00, 0x0D, 0x05, 0x04, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x03}));

    link->ClearSent();
    frame.ProgFrame->cbBL->setChecked(true);
    frame.CalibFrame->btnTelemTest->click();
    frame.OpFrame->btnSwap->click();
    EXPECT_TRUE(link->Sent().empty());
    frame.ProgFrame->rbProgIRIG->setChecked(true);
    frame.CalibFrame->btnTelemTest->click(); // the Setup/Cal button sends the same message
    EXPECT_EQ(link->Sent(), (Bytes{0x02, 0x00, 0x0D, 0x03, 0x00, 0x00, 0x03}));
}

TEST_F(MainFrameTest, AddressChangeWhileConnectedAndWhileSearching)
{
    frame.CalibFrame->editIPAddress->setText("127.0.0.2");
    frame.editIPAddressExit();
    EXPECT_EQ(Section(2), "Searching for ZARN ... @ 127.0.0.2");
    EXPECT_EQ(frame.LinkAddress(), "127.0.0.2");
    frame.editIPAddressExit(); // unchanged: nothing happens
    EXPECT_EQ(Section(2), "Searching for ZARN ... @ 127.0.0.2");

    link->SetUp(true);
    frame.CalibFrame->editIPAddress->setText("127.0.0.3");
    frame.editIPAddressExit();
    // The stand-in reports the disconnection at once, so the searching text follows "Disconnecting ...".
    EXPECT_EQ(Section(0), "Disconnected");
    EXPECT_EQ(Section(2), "Searching for ZARN ... @ 127.0.0.3");
}

TEST_F(MainFrameTest, TabsFollowMaintenanceModeAndTheProgramPageFlag)
{
    auto visible = [&](QWidget* ts) {
        return frame.PageControl->isTabVisible(frame.PageControl->indexOf(ts));
    };
    EXPECT_TRUE(visible(frame.tsOperation));
    EXPECT_FALSE(visible(frame.tsComm));
    EXPECT_FALSE(visible(frame.tsProgram));

    frame.SetProgramPageFlag(true);
    frame.DisplayReset();
    EXPECT_TRUE(visible(frame.tsProgram));
    frame.PageControl->setCurrentWidget(frame.tsProgram);
    frame.DisplayReset();
    EXPECT_EQ(frame.PageControl->currentWidget(), frame.tsProgram);

    frame.SetMaintenanceMode(true);
    EXPECT_EQ(frame.PageControl->currentWidget(), frame.tsOperation);
    for (QWidget* ts :
         {frame.tsDemod, frame.tsAlarm, frame.tsSetup, frame.tsComm, frame.tsProgram, frame.tsSetupCal})
        EXPECT_TRUE(visible(ts)) << ts->objectName().toStdString();
    EXPECT_FALSE(frame.OpFrame->btnTelem->isHidden());
}

TEST_F(MainFrameTest, ShutdownEndsWithinOneTickOnceTheLinkIsDown)
{
    link->SetUp(true);
    frame.BeginShutdown();
    EXPECT_TRUE(frame.ShutdownInProgress());
    EXPECT_TRUE(frame.TimerZarn->isActive());
    Tick();
    EXPECT_EQ(frame.ShutdownState(), 2);
    EXPECT_FALSE(frame.TimerZarn->isActive());
    link->SetUp(false); // late notifications are ignored
    EXPECT_EQ(Section(0), "Connected to 127.0.0.1");
}

TEST_F(MainFrameTest, TelemSearchIsHiddenForV3DevicesInMaintenanceMode)
{
    frame.SetMaintenanceMode(true);
    frame.ApplyIdentity("ZARN V3.04");
    frame.DisplayReset();
    EXPECT_TRUE(frame.OpFrame->btnTelem->isHidden());
    frame.ApplyIdentity("ZARN V2.00");
    frame.DisplayReset();
    EXPECT_FALSE(frame.OpFrame->btnTelem->isHidden());
    link->SetUp(true);
    frame.ApplyIdentity("ZARN V3.04");
    frame.SetMaintenanceMode(true);
    EXPECT_TRUE(frame.OpFrame->btnTelem->isHidden());
}
