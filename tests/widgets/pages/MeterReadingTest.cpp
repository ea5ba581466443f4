// Bar meter and the plausible window of meter readings.
#include <gtest/gtest.h>

#include <QLabel>
#include <cmath>
#include <limits>

#include "BarMeter.h"
#include "KivZarnStatusTexts.h"
#include "ZarnColors.h"

namespace {

struct MeterFixture : ::testing::Test {
    QLabel Label;
    TBarMeter Meter;
    void Range(int min, int max)
    {
        Meter.SetRange(min, max);
        Meter.SetValue(12345); // something a failed reading must overwrite
    }
};

} // namespace

TEST_F(MeterFixture, PlausibleWindowIsClosedAtBothEnds)
{
    struct Case {
        int Min, Max, Decimals, P;
        float Value;
        const char* Text; // "INV" for a rejected reading
        int MeterValue;
    };
    const Case cases[] = {
        // Wide-band level, early generations: window -125.0 .. -25.0.
        {-1000, -500, 1, 1, -125.0f, "-125.0", -1250},
        {-1000, -500, 1, 1, -25.0f, "-25.0", -250},
        {-1000, -500, 1, 1, -130.0f, "INV", -1000},
        {-1000, -500, 1, 1, -125.1f, "INV", -1000},
        {-1000, -500, 1, 1, -24.9f, "INV", -1000},
        {-1000, -500, 1, 1, -75.04f, "-75.0", -750},
        // Phase noise: 0 .. 15.00 on the meter, window -7.5 .. 22.5.
        {0, 1500, 2, 2, 16.0f, "+16.00", 1600},
        {0, 1500, 2, 2, 22.5f, "+22.50", 2250},
        {0, 1500, 2, 2, 25.0f, "INV", 0},
        // Frequency error: -50.0 .. +50.0 Hz, window -100 .. 100.
        {-500, 500, 1, 1, -120.0f, "INV", -500},
        {-500, 500, 1, 1, -90.0f, "-90.0", -900},
        {-500, 500, 1, 1, -100.0f, "-100.0", -1000},
        {-500, 500, 1, 1, 100.0f, "+100.0", 1000},
        // VCO frequency: the meter counts hertz while the label shows one decimal.
        {-5000, 5000, 1, 0, 1234.56f, "+1234.6", 1235},
        {-5000, 5000, 1, 0, 0.0f, "+0.0", 0},
        // VCO volts in millivolts.
        {0, 5000, 3, 3, 2.5f, "+2.500", 2500},
    };
    for (const Case& c : cases) {
        Range(c.Min, c.Max);
        const bool shown = ShowMeterReading(&Label, &Meter, c.Decimals, c.P, c.Value);
        EXPECT_EQ(Label.text().toStdString(), c.Text) << c.Value;
        EXPECT_EQ(Meter.Value(), c.MeterValue) << c.Value;
        EXPECT_EQ(shown, std::string(c.Text) != "INV") << c.Value;
    }
}

TEST_F(MeterFixture, NonNumbersAndTheShortFormShowInv)
{
    Range(0, 400);
    EXPECT_FALSE(ShowMeterReading(&Label, &Meter, 1, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(Label.text(), "INV");
    EXPECT_EQ(Meter.Value(), 0);
    Range(0, 400);
    EXPECT_FALSE(ShowMeterReading(&Label, &Meter, 1, std::numeric_limits<float>::infinity()));
    EXPECT_EQ(Label.text(), "INV");
    EXPECT_EQ(Meter.Value(), 0);

    // The short form scales by the decimals: 37.25 dB is 373 tenths.
    EXPECT_TRUE(ShowMeterReading(&Label, &Meter, 1, 37.26f));
    EXPECT_EQ(Label.text(), "+37.3");
    EXPECT_EQ(Meter.Value(), 373);
}

TEST_F(MeterFixture, ShowReadingChecksItsOwnBounds)
{
    EXPECT_TRUE(ShowReading(&Label, 2, 1.0f, 1.0f, 2.0f));
    EXPECT_EQ(Label.text(), "+1.00");
    EXPECT_FALSE(ShowReading(&Label, 2, 2.01f, 1.0f, 2.0f));
    EXPECT_EQ(Label.text(), "INV");
    ShowNotAvailable(&Label, &Meter);
    EXPECT_EQ(Label.text(), "N/A");
    EXPECT_EQ(Meter.Value(), Meter.Min());
}

TEST(BarMeter, DrawsLimeOnGreyAndMarksValuesBeyondTheRange)
{
    TBarMeter m;
    m.resize(102, 16);
    m.SetRange(0, 100);
    m.SetValue(50);
    QImage img = m.grab().toImage();
    EXPECT_EQ(img.pixelColor(20, 8), clLime);
    EXPECT_EQ(img.pixelColor(80, 8), clGray);
    EXPECT_DOUBLE_EQ(m.FillFraction(), 0.5);

    // Over the top: full bar, a marker at the right end, the value kept as given.
    m.SetValue(150);
    EXPECT_EQ(m.Value(), 150);
    EXPECT_TRUE(m.AboveRange());
    EXPECT_DOUBLE_EQ(m.FillFraction(), 1.0);
    img = m.grab().toImage();
    EXPECT_EQ(img.pixelColor(80, 8), clLime);
    EXPECT_NE(img.pixelColor(99, 8), clLime);

    m.SetValue(-20);
    EXPECT_TRUE(m.BelowRange());
    EXPECT_DOUBLE_EQ(m.FillFraction(), 0.0);
    img = m.grab().toImage();
    EXPECT_EQ(img.pixelColor(50, 8), clGray);

    // An empty range draws an empty bar rather than dividing by zero.
    m.SetRange(10, 10);
    m.SetValue(10);
    EXPECT_DOUBLE_EQ(m.FillFraction(), 0.0);
    (void)m.grab();
}
