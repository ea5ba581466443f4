// Demod panel: the states it shows, its lamps, and the plausible windows of its readings.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>

#include "BarMeter.h"
#include "KivZarnDmdFrame.h"
#include "LedIndicator.h"
#include "ZarnAveraging.h"
#include "ZarnColors.h"
#include "ZarnPageKit.h"
#include "ZarnStatusRec.h"

namespace {

const char* const Readings[5] = {"lblLevel", "lblNoiseA", "lblNoiseC", "lblPN", "lblFreq"};
const char* const Meters[5] = {"rzmLevel", "rzmNoiseA", "rzmNoiseC", "rzmPN", "rzmFreq"};

struct DmdFrameTest : ::testing::Test {
    TZarnDmdFrame Frame{nullptr};
    TZarnLevelSample Sample;

    DmdFrameTest()
    {
        Sample.PilotLevelAvg = 47.23f;
        Sample.AmpNoiseAvg = 12.3f;
        Sample.ChanNoiseAvg = 18.44f;
        Sample.PhaseNoiseAvg = 3.5f;
    }
    template <class T> T* W(const char* name)
    {
        T* w = Frame.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLabel* L(const char* name) { return W<QLabel>(name); }
    QColor LedColor(const char* name) { return W<TLedIndicator>(name)->FillColor(); }
    static TZarnDemodRec Rec(uint8_t state, uint8_t flags, float freqError = -12.34f)
    {
        TZarnDemodRec d;
        d.State = state;
        d.Flags = flags;
        d.FreqError = freqError;
        return d;
    }
    // Puts the panel in its busiest state, so a following update must clear everything.
    void Busy() { Frame.Apply(Rec(1, 0x13), Sample); }
    void ExpectReadingsNotAvailable(const char* ctx)
    {
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(L(Readings[i])->text(), "N/A") << ctx << " " << Readings[i];
            auto* m = W<TBarMeter>(Meters[i]);
            EXPECT_EQ(m->Value(), m->Min()) << ctx << " " << Meters[i];
        }
    }
};

} // namespace

TEST_F(DmdFrameTest, OnlineShowsStateReadingsAndLamps)
{
    Frame.Apply(Rec(2, 0x13), Sample);
    EXPECT_EQ(L("lblStatus")->text(), "  Online - Active on Pilot 2");
    EXPECT_EQ(zpk::FaceColor(L("lblStatus")), clHighlightText());
    for (const char* n : {"ledSynth", "ledIrig", "ledCarDet"})
        EXPECT_EQ(LedColor(n), clGreen) << n;
    EXPECT_EQ(L("lblLevel")->text(), "+47.2");
    EXPECT_EQ(W<TBarMeter>("rzmLevel")->Value(), 472);
    EXPECT_EQ(L("lblNoiseA")->text(), "+12.3");
    EXPECT_EQ(L("lblNoiseC")->text(), "+18.4");
    EXPECT_EQ(W<TBarMeter>("rzmNoiseC")->Value(), 184);
    EXPECT_EQ(L("lblPN")->text(), "+3.50");
    EXPECT_EQ(W<TBarMeter>("rzmPN")->Value(), 350);
    EXPECT_EQ(L("lblFreq")->text(), "-12.3");
    EXPECT_EQ(W<TBarMeter>("rzmFreq")->Value(), -123);

    const char* texts[] = {"  Online - Active on Pilot 1", "  Online - Active on Pilot 2",
                           "  Online - Monitoring Pilot 1", "  Online - Monitoring Pilot 2"};
    for (uint8_t s = 1; s <= 4; ++s) {
        Frame.Apply(Rec(s, 0x10), Sample);
        EXPECT_EQ(L("lblStatus")->text().toStdString(), texts[s - 1]);
    }
    // Carrier only: synthesizer and IRIG lamps dark.
    EXPECT_EQ(LedColor("ledSynth"), clSilver);
    EXPECT_EQ(LedColor("ledIrig"), clSilver);
    EXPECT_EQ(LedColor("ledCarDet"), clGreen);
}

TEST_F(DmdFrameTest, StatesWithoutReadings)
{
    struct Case {
        uint8_t State;
        uint8_t Flags;
        const char* Text;
        bool Red;
        bool Synth, Irig; // lamp colours (CAR DET is always dark here)
    };
    const Case cases[] = {
        {2, 0x03, "  N/A", false, false, false}, // no carrier: reset
        {6, 0x02, "  Online - Searching for Carrier", false, true, false},
        {5, 0x13, "  Online - Searching for Carrier", false, true, true},
        {0, 0x01, "  Demod Idle", false, false, true},
        {7, 0x13, "  ***  ERROR  ***", true, false, false},
        {9, 0x13, "  N/A", false, false, false},
        {255, 0x13, "  N/A", false, false, false},
    };
    for (const Case& c : cases) {
        Busy();
        Frame.Apply(Rec(c.State, c.Flags), Sample);
        const std::string ctx = "state " + std::to_string(c.State);
        EXPECT_EQ(L("lblStatus")->text().toStdString(), c.Text) << ctx;
        EXPECT_EQ(zpk::FaceColor(L("lblStatus")), c.Red ? clRed : clHighlightText()) << ctx;
        EXPECT_EQ(LedColor("ledSynth"), c.Synth ? clGreen : clSilver) << ctx;
        EXPECT_EQ(LedColor("ledIrig"), c.Irig ? clGreen : clSilver) << ctx;
        EXPECT_EQ(LedColor("ledCarDet"), clSilver) << ctx;
        ExpectReadingsNotAvailable(ctx.c_str());
    }
}

TEST_F(DmdFrameTest, PhaseNoiseAndFrequencyErrorWindows)
{
    Sample.PhaseNoiseAvg = 16.0f;
    Frame.Apply(Rec(1, 0x10, -90.0f), Sample);
    EXPECT_EQ(L("lblPN")->text(), "+16.00");
    EXPECT_EQ(W<TBarMeter>("rzmPN")->Value(), 1600);
    EXPECT_TRUE(W<TBarMeter>("rzmPN")->AboveRange());
    EXPECT_EQ(L("lblFreq")->text(), "-90.0");
    EXPECT_EQ(W<TBarMeter>("rzmFreq")->Value(), -900);

    Sample.PhaseNoiseAvg = 25.0f;
    Frame.Apply(Rec(1, 0x10, -120.0f), Sample);
    EXPECT_EQ(L("lblPN")->text(), "INV");
    EXPECT_EQ(W<TBarMeter>("rzmPN")->Value(), 0);
    EXPECT_EQ(L("lblFreq")->text(), "INV");
    EXPECT_EQ(W<TBarMeter>("rzmFreq")->Value(), -500);
    // The other readings of the same update are still shown.
    EXPECT_EQ(L("lblLevel")->text(), "+47.2");

    // The -1 dB of a failed logarithm in the averaging lies inside the level window (-28.5 .. 85.5).
    Sample.PilotLevelAvg = -1.0f;
    Frame.Apply(Rec(1, 0x10), Sample);
    EXPECT_EQ(L("lblLevel")->text(), "-1.0");
}

TEST_F(DmdFrameTest, ResetShowErrorAndCaption)
{
    Busy();
    Frame.ShowError();
    EXPECT_EQ(L("lblStatus")->text(), "  ***  ERROR  ***");
    EXPECT_EQ(zpk::FaceColor(L("lblStatus")), clRed);
    ExpectReadingsNotAvailable("error");
    for (const char* n : {"ledSynth", "ledIrig", "ledCarDet"})
        EXPECT_EQ(LedColor(n), clSilver) << n;

    Frame.Reset();
    EXPECT_EQ(L("lblStatus")->text(), "  N/A");
    EXPECT_EQ(zpk::FaceColor(L("lblStatus")), clHighlightText());

    Frame.SetCaption(QStringLiteral("Demod 2"));
    EXPECT_EQ(W<QGroupBox>("gbDemod")->title(), "Demod 2");
    Frame.setObjectName(QStringLiteral("DemodFrame2"));
    EXPECT_EQ(Frame.objectName(), "DemodFrame2");
    EXPECT_LE(Frame.height(), 188 - 8); // two panels fit at tops 8 and 188
    EXPECT_LE(Frame.x() + Frame.width(), 592);
}
