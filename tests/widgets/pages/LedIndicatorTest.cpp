// LED indicator: colours from the tag word, the shift over a row of lamps, the fault bit,
// and repainting only on a change of colour.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <array>
#include <memory>

#include "LedIndicator.h"
#include "TestSupport.h"
#include "ZarnColors.h"

namespace {

struct PaintCounter : QObject {
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

} // namespace

TEST(LedIndicator, TagWordSelectsColour)
{
    struct Case {
        uint32_t Tag;
        QColor Expected;
    };
    const Case cases[] = {{0x000, clSilver}, {0x001, clGreen}, {0x100, clRed}, {0x101, clGreen}};
    TLedIndicator led;
    for (const Case& c : cases) {
        PaintLed(&led, c.Tag);
        EXPECT_EQ(led.FillColor(), c.Expected) << "tag " << c.Tag;
    }
}

TEST(LedIndicator, ShiftLedFeedsOneBitPerLampInOrder)
{
    std::array<TLedIndicator, 8> row;
    uint8_t bits = 0x05;
    for (auto& led : row)
        ShiftLed(&led, bits);
    for (size_t i = 0; i < row.size(); ++i)
        EXPECT_EQ(row[i].FillColor(), (i == 0 || i == 2) ? clGreen : clSilver) << "lamp " << i;
    EXPECT_EQ(row[0].Tag(), 1u);
    EXPECT_EQ(row[1].Tag(), 0u);

    // The top bit reaches the eighth lamp: the byte is used up only by the eighth shift.
    bits = 0x80;
    for (size_t i = 0; i < 7; ++i) {
        ShiftLed(&row[i], bits);
        EXPECT_NE(bits, 0) << "after shift " << i + 1;
    }
    ShiftLed(&row[7], bits);
    EXPECT_EQ(bits, 0);
    EXPECT_EQ(row[7].FillColor(), clGreen);
    EXPECT_EQ(row[0].FillColor(), clSilver);
}

TEST(LedIndicator, FaultBitShowsRedWhenOffAndSurvivesClear)
{
    TLedIndicator led;
    led.SetFaultBit(true);
    uint8_t bits = 0x00;
    ShiftLed(&led, bits);
    EXPECT_EQ(led.FillColor(), clRed);
    bits = 0x01;
    ShiftLed(&led, bits);
    EXPECT_EQ(led.FillColor(), clGreen);
    EXPECT_EQ(led.Tag(), LedFaultBit | LedOnBit);

    ClearLed(&led);
    EXPECT_EQ(led.FillColor(), clSilver);
    EXPECT_EQ(led.Tag(), LedFaultBit);
    bits = 0x00;
    ShiftLed(&led, bits);
    EXPECT_EQ(led.FillColor(), clRed);

    // Bits above the fault bit's byte are not carried by the shift.
    led.SetTag(0x10100);
    bits = 0x01;
    ShiftLed(&led, bits);
    EXPECT_EQ(led.Tag(), LedFaultBit | LedOnBit);
}

TEST(LedIndicator, RepaintsOnlyWhenTheColourChanges)
{
    TLedIndicator led;
    PaintCounter counter;
    led.installEventFilter(&counter);
    led.show();
    ASSERT_TRUE(zt::WaitUntil([&] { return counter.Paints > 0; }));
    zt::PumpFor(std::chrono::milliseconds(20));

    const int requests = led.RepaintRequests();
    const int paints = counter.Paints;
    for (int i = 0; i < 5; ++i)
        PaintLed(&led, 0x000); // silver, as it already is
    ClearLed(&led);
    zt::PumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(led.RepaintRequests(), requests);
    EXPECT_EQ(counter.Paints, paints);

    PaintLed(&led, 0x001);
    PaintLed(&led, 0x101); // still green
    EXPECT_EQ(led.RepaintRequests(), requests + 1);
    ASSERT_TRUE(zt::WaitUntil([&] { return counter.Paints > paints; }));
    EXPECT_EQ(led.grab().toImage().pixelColor(8, 12), clGreen);
}
