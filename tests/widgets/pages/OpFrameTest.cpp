// Operation page: reset look, generation layout, and what one status record shows.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "BarMeter.h"
#include "KivZarnOpFrame.h"
#include "LedIndicator.h"
#include "NumEdit.h"
#include "ZarnColors.h"
#include "ZarnPageKit.h"
#include "ZarnStatusRec.h"

namespace {

const char* const StatusLeds[8] = {"ledP1Lock", "ledP1Active", "ledPSA_OK", "ledWideBand",
                                   "ledAGC",    "ledPSB_OK",   "ledP2Lock", "ledP2Active"};
const char* const Readings[6] = {"lblVCOFreq",  "lblVCOVolts",    "lblWB_Gain",
                                 "lblWB_Level", "lblActPilotLvl", "lblNoiseFloor"};
const char* const Meters[6] = {"VCOFreqMeter", "VCOVoltsMeter", "WBGainMeter",
                               "WBLevelMeter", "ActPilotMeter", "NoiseMeter"};

struct OpFrameTest : ::testing::Test {
    TZarnOpFrame Frame{nullptr};

    template <class T> T* W(const char* name)
    {
        T* w = Frame.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLabel* L(const char* name) { return W<QLabel>(name); }
    TLedIndicator* Led(const char* name) { return W<TLedIndicator>(name); }
    TBarMeter* M(const char* name) { return W<TBarMeter>(name); }
    bool Shown(const char* name) { return !W<QWidget>(name)->isHidden(); }

    // A record of a healthy unit: both pilots locked, pilot 1 active, readings in range.
    static TZarnStatusRec Healthy()
    {
        TZarnStatusRec r;
        r.MainState = 9;
        r.SynthIrigBits = 0x03 | (3 << 2) | (2 << 4);
        r.StatusBits = 0x7B;
        r.WideBandGain = 21.04f;
        r.WideBandLevel = -75.0f;
        r.VcoVolts = 2.5f;
        r.VcoFreq = 120.0f;
        r.IfFreq = 77.4474f;
        r.UpSynthFreq = 1234.5f;
        r.DownSynthFreq = 987.25f;
        r.Demod1.State = 1;
        r.Demod1.PilotLevel = 47.2f;
        r.Demod1.ChanNoise = 12.0f;
        r.Demod2.State = 3;
        r.Demod2.PilotLevel = 45.1f;
        r.Demod2.ChanNoise = 14.0f;
        return r;
    }
};

} // namespace

TEST_F(OpFrameTest, ResetShowsNoCommunication)
{
    Frame.ApplyGeneration(3);
    Frame.ApplyStatus(Healthy());
    TZarnStatusRec err = Healthy();
    err.Demod1.State = 7;
    Frame.ApplyStatus(err);
    W<QPushButton>("rzbtnAlarm")->show();

    Frame.Reset();
    EXPECT_EQ(L("lblZARN_State")->text(), "   No Communication");
    EXPECT_EQ(L("lblIrigOutState")->text(), "");
    EXPECT_EQ(L("lblIrigInState")->text(), "");
    EXPECT_EQ(L("lblGpsState")->text(), "");
    for (const char* n : StatusLeds)
        EXPECT_EQ(Led(n)->FillColor(), clSilver) << n; // also the power supplies, whose fault bit is set
    for (const char* n : {"ledSynLock", "ledUpSynLock", "ledDnSynLock"})
        EXPECT_EQ(Led(n)->FillColor(), clSilver) << n;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(L(Readings[i])->text(), "N/A") << Readings[i];
        EXPECT_EQ(M(Meters[i])->Value(), M(Meters[i])->Min()) << Meters[i];
    }
    for (const char* n : {"rzneIF_Frequency", "rneUpSynFreq", "rneDnSynFreq"})
        EXPECT_EQ(W<TNumEdit>(n)->text(), "") << n;
    EXPECT_FALSE(Shown("rzbtnAlarm"));
    EXPECT_FALSE(Shown("lblDemod1Error"));
    EXPECT_EQ(zpk::FaceColor(W<QGroupBox>("gbPilot1")), clBtnFace());
    // The fault bit outlives the reset: the next record shows dark supplies red again.
    TZarnStatusRec dark;
    Frame.ApplyStatus(dark);
    EXPECT_EQ(Led("ledPSA_OK")->FillColor(), clRed);
}

TEST_F(OpFrameTest, DesktopUnitsHideSuppliesAndMovePilotGroups)
{
    auto* g1 = W<QGroupBox>("gbPilot1");
    auto* g2 = W<QGroupBox>("gbPilot2");
    const int left1 = g1->x();
    const int left2 = g2->x();
    EXPECT_EQ(Frame.PilotShift(), 50);
    EXPECT_EQ(Frame.PilotShift(), Led("ledWideBand")->x() - Led("ledPSA_OK")->x());

    for (int desktop : {5, 7, 9, 11}) {
        Frame.ApplyGeneration(desktop);
        for (const char* n : {"ledPSA_OK", "ledPSB_OK", "lblPSA", "lblPSB"})
            EXPECT_FALSE(Shown(n)) << n << " gen " << desktop;
        EXPECT_EQ(g1->x(), left1 + 50) << desktop;
        EXPECT_EQ(g2->x(), left2 - 50) << desktop;
        // The groups fill the supplies' space without running into the middle lamps.
        EXPECT_LT(g1->geometry().right(), L("lblWideBand")->x());
        EXPECT_GT(g2->x(), L("lblAGC")->geometry().right());
        EXPECT_EQ(L("lblDemod1Error")->x(), g1->x());
    }
    // Applying the same desktop code twice does not move the groups further.
    Frame.ApplyGeneration(5);
    Frame.ApplyGeneration(5);
    EXPECT_EQ(g1->x(), left1 + 50);

    Frame.ApplyGeneration(4);
    for (const char* n : {"ledPSA_OK", "ledPSB_OK", "lblPSA", "lblPSB"})
        EXPECT_TRUE(Shown(n)) << n;
    EXPECT_EQ(g1->x(), left1);
    EXPECT_EQ(g2->x(), left2);
    EXPECT_EQ(L("lblDemod2Error")->x(), left2);
}

TEST_F(OpFrameTest, SynthesizerControlsFollowTheV3Flag)
{
    Frame.ApplyGeneration(11);
    EXPECT_TRUE(Frame.IsV3());
    for (const char* n :
         {"ledUpSynLock", "lblUpSynLock", "rneUpSynFreq", "ledDnSynLock", "lblDnSynLock", "rneDnSynFreq"})
        EXPECT_TRUE(Shown(n)) << n;
    EXPECT_FALSE(Shown("ledSynLock"));
    EXPECT_FALSE(Shown("lblSynLock"));

    TZarnStatusRec r = Healthy();
    r.SynthIrigBits = 0x02; // down locked, up not
    Frame.ApplyStatus(r);
    EXPECT_EQ(Led("ledUpSynLock")->FillColor(), clSilver);
    EXPECT_EQ(Led("ledDnSynLock")->FillColor(), clGreen);
    EXPECT_EQ(W<TNumEdit>("rneUpSynFreq")->text(), "1234.5000");
    EXPECT_EQ(W<TNumEdit>("rneDnSynFreq")->text(), "987.2500");
    EXPECT_EQ(L("lblZARN_State")->text(), "  9:  Pilot Locked");

    Frame.ApplyGeneration(6);
    EXPECT_FALSE(Frame.IsV3());
    EXPECT_TRUE(Shown("ledSynLock"));
    EXPECT_FALSE(Shown("rneDnSynFreq"));
    r.SynthIrigBits = 0x01;
    Frame.ApplyStatus(r);
    EXPECT_EQ(Led("ledSynLock")->FillColor(), clGreen);
    EXPECT_EQ(L("lblZARN_State")->text(), "  9:  Telemetry Locked");
    EXPECT_EQ(W<TNumEdit>("rzneIF_Frequency")->text(), "77.44740");
}

TEST_F(OpFrameTest, PowerSupplyFaultBitByGeneration)
{
    TZarnStatusRec r; // StatusBits 0x00
    Frame.ApplyGeneration(3);
    Frame.ApplyStatus(r);
    for (const char* n : StatusLeds) {
        const bool supply = std::string(n) == "ledPSA_OK" || std::string(n) == "ledPSB_OK";
        EXPECT_EQ(Led(n)->FillColor(), supply ? clRed : clSilver) << n;
    }
    // Code 0 leaves the fault bits as they were.
    Frame.ApplyGeneration(0);
    Frame.ApplyStatus(r);
    EXPECT_EQ(Led("ledPSB_OK")->FillColor(), clRed);

    Frame.ApplyGeneration(2);
    Frame.ApplyStatus(r);
    EXPECT_EQ(Led("ledPSA_OK")->FillColor(), clSilver);
    EXPECT_EQ(Led("ledPSB_OK")->FillColor(), clSilver);

    r.StatusBits = 0x24; // both supplies OK
    Frame.ApplyGeneration(10);
    Frame.ApplyStatus(r);
    EXPECT_EQ(Led("ledPSA_OK")->FillColor(), clGreen);
    EXPECT_EQ(Led("ledPSB_OK")->FillColor(), clGreen);
    EXPECT_EQ(Led("ledAGC")->FillColor(), clSilver);
}

TEST_F(OpFrameTest, StatusLinesAndLamps)
{
    Frame.ApplyGeneration(8);
    TZarnStatusRec r = Healthy();
    r.GpsState = 0x85;
    Frame.ApplyStatus(r);
    EXPECT_EQ(L("lblGpsState")->text(), "  Pos Fixes, Need UTC Corr - Antenna Fault");
    EXPECT_EQ(L("lblIrigOutState")->text(), "  Using GPS");
    EXPECT_EQ(L("lblIrigInState")->text(), "  Present");

    // 0x7B: everything but supply A (red: a V3 rack unit reports its supplies) and pilot 2 active.
    const bool expected[8] = {true, true, false, true, true, true, true, false};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Led(StatusLeds[i])->FillColor(), expected[i] ? clGreen : (i == 2 ? clRed : clSilver))
            << StatusLeds[i];

    r.MainState = 13; // beyond the V3 table
    r.GpsState = 0x0D;
    Frame.ApplyStatus(r);
    EXPECT_EQ(L("lblZARN_State")->text(), "  13");
    EXPECT_EQ(L("lblGpsState")->text(), "  13");
}

TEST_F(OpFrameTest, ActivePilotAndNoiseFloorFollowTheLockBits)
{
    Frame.ApplyGeneration(4);
    struct Case {
        uint8_t Bits;
        const char* Pilot;
        const char* Noise;
    };
    const Case cases[] = {
        {0x43, "+47.2", "+13.0"}, // pilot 1 lock and active, pilot 2 lock: mean of both noises
        {0x03, "+47.2", "+12.0"}, // pilot 1 only
        {0xC0, "+45.1", "+14.0"}, // pilot 2 lock and active
        {0x80, "+45.1", "N/A"},   // active without lock: no noise floor
        {0x00, "N/A", "N/A"},
    };
    TZarnStatusRec r = Healthy();
    for (const Case& c : cases) {
        r.StatusBits = c.Bits;
        Frame.ApplyStatus(r);
        EXPECT_EQ(L("lblActPilotLvl")->text().toStdString(), c.Pilot) << int(c.Bits);
        EXPECT_EQ(L("lblNoiseFloor")->text().toStdString(), c.Noise) << int(c.Bits);
        if (std::string(c.Noise) == "N/A") {
            EXPECT_EQ(M("NoiseMeter")->Value(), 0);
        }
    }
    EXPECT_EQ(M("ActPilotMeter")->Value(), 440);

    // A locked channel reading exactly zero is taken as absent.
    r.StatusBits = 0x01;
    r.Demod1.ChanNoise = 0.0f;
    Frame.ApplyStatus(r);
    EXPECT_EQ(L("lblNoiseFloor")->text(), "N/A");
}

TEST_F(OpFrameTest, WideBandLevelWindowAndRangeByGeneration)
{
    Frame.ApplyGeneration(4);
    auto* meter = M("WBLevelMeter");
    TZarnStatusRec r = Healthy();
    r.WideBandLevel = -130.0f;
    Frame.ApplyStatus(r);
    EXPECT_EQ(L("lblWB_Level")->text(), "INV");
    EXPECT_EQ(meter->Value(), -1000);
    r.WideBandLevel = -30.0f;
    Frame.ApplyStatus(r);
    EXPECT_EQ(L("lblWB_Level")->text(), "-30.0");
    EXPECT_EQ(meter->Value(), -300); // beyond the top, as given
    EXPECT_TRUE(meter->AboveRange());

    r.WideBandLevel = -75.0f;
    Frame.ApplyStatus(r);
    Frame.ApplyGeneration(3); // same range: the bar is left alone
    EXPECT_EQ(meter->Value(), -750);

    Frame.ApplyGeneration(9);
    EXPECT_EQ(meter->Min(), -600);
    EXPECT_EQ(meter->Max(), -200);
    EXPECT_EQ(meter->Value(), -600);
    r.WideBandLevel = -45.0f;
    Frame.ApplyStatus(r);
    EXPECT_EQ(meter->Value(), -450);
    Frame.ApplyGeneration(11);
    EXPECT_EQ(meter->Value(), -450);

    Frame.ApplyGeneration(1);
    EXPECT_EQ(meter->Min(), -1000);
    EXPECT_EQ(meter->Value(), -1000);
}

TEST_F(OpFrameTest, DemodErrorMarksOnlyItsPilotGroup)
{
    Frame.ApplyGeneration(4);
    TZarnStatusRec r = Healthy();
    r.Demod2.State = 7;
    Frame.ApplyStatus(r);
    EXPECT_EQ(zpk::FaceColor(W<QGroupBox>("gbPilot2")), clRed);
    EXPECT_TRUE(Shown("lblDemod2Error"));
    EXPECT_EQ(L("lblDemod2Error")->text(), "DEMOD ERROR");
    EXPECT_EQ(zpk::FaceColor(W<QGroupBox>("gbPilot1")), clBtnFace());
    EXPECT_FALSE(Shown("lblDemod1Error"));

    r.Demod2.State = 3;
    Frame.ApplyStatus(r);
    EXPECT_EQ(zpk::FaceColor(W<QGroupBox>("gbPilot2")), clBtnFace());
    EXPECT_FALSE(Shown("lblDemod2Error"));

    // A new generation clears the marks too.
    r.Demod1.State = 7;
    Frame.ApplyStatus(r);
    EXPECT_TRUE(Shown("lblDemod1Error"));
    Frame.ApplyGeneration(4);
    EXPECT_FALSE(Shown("lblDemod1Error"));
    EXPECT_EQ(zpk::FaceColor(W<QGroupBox>("gbPilot1")), clBtnFace());
}

TEST_F(OpFrameTest, ControlsTheMainFrameBinds)
{
    struct Case {
        const char* Name;
        const char* Caption;
    };
    const Case cases[] = {{"btnSwap", "Swap Pilots"},
                          {"btnIdle", "ZARN Idle"},
                          {"btnPilot", "Pilot Search"},
                          {"btnTelem", "Telem Search"},
                          {"rzbtnAlarm", "ALARM"}};
    for (const Case& c : cases)
        EXPECT_EQ(W<QPushButton>(c.Name)->text().toStdString(), c.Caption);
    EXPECT_EQ(Frame.btnIdle->parentWidget(), Frame.gbMainFunc);
    EXPECT_EQ(Frame.gbMainFunc->objectName(), "gbMainFunc");
    EXPECT_EQ(W<QPushButton>("btnIdle")->focusPolicy(), Qt::ClickFocus);
    // The address caption and edit go to left 6, tops 160 and 176: the buttons end above them.
    for (const Case& c : cases)
        EXPECT_LE(W<QPushButton>(c.Name)->geometry().bottom(), 158) << c.Name;
    EXPECT_LE(Frame.gbMainFunc->height(), Frame.gbIF_Status->y());
    EXPECT_GE(Frame.gbMainFunc->height(), 176 + 21 + 4);
}
