// State-text tables and the signed fixed-point format of readings.
#include <gtest/gtest.h>

#include <QLocale>

#include "KivZarnStatusTexts.h"

TEST(StatusTexts, MainStateLineByGeneration)
{
    struct Case {
        int Code;
        bool V3;
        const char* Line;
    };
    const Case cases[] = {
        {9, true, "  9:  Pilot Locked"},
        {9, false, "  9:  Telemetry Locked"},
        {0, false, "  0:  Initializing ..."},
        {17, false, "  17:  Test Hold State"},
        {12, true, "  12:  Resetting Demods ..."},
        // Beyond the tables: the number alone.
        {18, false, "  18"},
        {13, true, "  13"},
        {255, true, "  255"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MainStateLine(c.Code, c.V3).toStdString(), c.Line) << c.Code << " v3=" << c.V3;
}

TEST(StatusTexts, GpsLineWithAntennaFaultAndUnknownCodes)
{
    EXPECT_EQ(GpsStateLine(0x85), "  Pos Fixes, Need UTC Corr - Antenna Fault");
    EXPECT_EQ(GpsStateLine(0x05), "  Pos Fixes, Need UTC Corr");
    EXPECT_EQ(GpsStateLine(0x0C), "  Not Present");
    EXPECT_EQ(GpsStateLine(0x00), "  Unknown State");
    EXPECT_EQ(GpsStateLine(0x0D), "  13");
    EXPECT_EQ(GpsStateLine(0xFF), "  127 - Antenna Fault");
}

TEST(StatusTexts, IrigLinesTakeTheirBitPairs)
{
    // Bits 2-3 = 3 (GPS), bits 4-5 = 2 (present); lock bits and top bits must not leak in.
    const uint8_t bits = 0x03 | (3 << 2) | (2 << 4) | 0xC0;
    EXPECT_EQ(IrigOutLine(bits), "  Using GPS");
    EXPECT_EQ(IrigInLine(bits), "  Present");
    EXPECT_EQ(IrigOutLine(0x04), "  Not Active");
    EXPECT_EQ(IrigInLine(0x30), "  Unknown");
}

TEST(StatusTexts, FormatSignedFixed)
{
    struct Case {
        float Value;
        int Decimals;
        const char* Text;
    };
    const Case cases[] = {
        {21.04f, 1, "+21.0"},
        {0.0f, 3, "+0.000"},
        {0.0f, 1, "+0.0"},
        {-90.0f, 1, "-90.0"},
        {16.0f, 2, "+16.00"},
        {2.5f, 3, "+2.500"},
        {-0.04f, 1, "-0.0"},
        {1234.56f, 1, "+1234.6"},
        // At most 7 significant digits; zeros fill the decimals asked for.
        {1234567.8f, 1, "+1234568.0"},
        {0.001234567f, 9, "+0.001234567"},
        {123456.789f, 3, "+123456.800"},
        // More than 7 integer digits switch to exponent notation.
        {123456789.0f, 1, "+1.234568E+8"},
        {-99999999.0f, 0, "-1.000000E+8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatSignedFixed(c.Value, c.Decimals).toStdString(), c.Text) << c.Value;
}

TEST(StatusTexts, FormatSignedFixedUsesTheLocaleSeparator)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatSignedFixed(21.04f, 1), "+21,0");
    EXPECT_EQ(FormatSignedFixed(1234567.8f, 1), "+1234568,0");
    QLocale::setDefault(saved);
    EXPECT_EQ(FormatSignedFixed(21.04f, 1), "+21.0");
}
