#include <gtest/gtest.h>

#include <QLocale>
#include <chrono>

#include "Beep.h"
#include "Clock.h"
#include "KivUtils.h"
#include "TestSupport.h"

using namespace std::chrono_literals;

namespace {

struct ClockReset {
    ~ClockReset() { plat::Clock::ResetOffsets(); }
};

} // namespace

TEST(UtilsTest, IntervalElapsedAroundTheInterval)
{
    const double d = MsToDays(1000);
    struct Case {
        double ago; // in intervals before now; negative = in the future
        bool elapsed;
    };
    for (const Case c : {Case{1.5, true}, Case{0.5, false}, Case{-1.5, false}, Case{-3.0, true}}) {
        SCOPED_TRACE(c.ago);
        const double start = UtcNow() - c.ago * d;
        double last = start;
        EXPECT_EQ(IntervalElapsed(last, 1000), c.elapsed);
        if (c.elapsed)
            EXPECT_NEAR(last, UtcNow(), MsToDays(200));
        else
            EXPECT_EQ(last, start);
    }
}

TEST(UtilsTest, IntervalElapsedWithTheClockSetBack)
{
    ClockReset reset;
    double last = UtcNow();
    EXPECT_FALSE(IntervalElapsed(last, 1000));

    // Back by 1.5 intervals: not yet due, waits for the clock to catch up.
    plat::Clock::SetUtcOffset(-1500ms);
    const double kept = last;
    EXPECT_FALSE(IntervalElapsed(last, 1000));
    EXPECT_EQ(last, kept);

    // Back by an hour: due at once, and last follows the clock.
    plat::Clock::SetUtcOffset(-1h);
    EXPECT_TRUE(IntervalElapsed(last, 1000));
    EXPECT_NEAR(last, UtcNow(), MsToDays(200));
    EXPECT_FALSE(IntervalElapsed(last, 1000));
}

TEST(UtilsTest, MsToDaysAndUtcNow)
{
    EXPECT_DOUBLE_EQ(MsToDays(86400000), 1.0);
    EXPECT_DOUBLE_EQ(MsToDays(-43200000), -0.5);
    EXPECT_NEAR(UtcNow(), plat::Clock::UtcNowDays(), MsToDays(100));
    EXPECT_GT(UtcNow(), 45000.0); // after 2023
}

TEST(UtilsTest, HasAllBits)
{
    EXPECT_TRUE(HasAllBits(0x05, 0x04));
    EXPECT_FALSE(HasAllBits(0x01, 0x05));
    EXPECT_TRUE(HasAllBits(0x00, 0x00));
    EXPECT_TRUE(HasAllBits(0xA5, 0x00));
    EXPECT_TRUE(HasAllBits(0xFF, 0xFF));
}

TEST(UtilsTest, BytesToTextKeepsZeroBytes)
{
    const uint8_t bytes[19] = {0, 'A', 0, 'B'};
    const std::string t = BytesToText(bytes, 19);
    ASSERT_EQ(t.size(), 19u);
    EXPECT_EQ(t[0], '\0');
    EXPECT_EQ(t[1], 'A');
    EXPECT_EQ(t[3], 'B');
    EXPECT_TRUE(BytesToText(bytes, 0).empty());
    EXPECT_TRUE(BytesToText(bytes, -3).empty());
}

TEST(UtilsTest, DatesAndTimesIgnoreTheLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    FormatSettings().ShortDateFormat = "dd.mm.yyyy"; // as if taken from elsewhere
    ApplyStartupFormatSettings();

    struct Case {
        double days;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {45000.5, "03/15/2023", "12:00:00"},
        {45366.75 + 7.25 / 86400, "03/15/2024", "18:00:07"},
        {45351.0 + 86398.0 / 86400, "02/29/2024", "23:59:58"},
        {0.0, "12/30/1899", "00:00:00"},
        {2.0 + 1.0 / 24, "01/01/1900", "01:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_EQ(FormatDate(c.days), c.date);
        EXPECT_EQ(FormatTime(c.days), c.time);
        EXPECT_EQ(FormatDateTimeText(c.days), QString(c.date) + " " + c.time);
    }
    EXPECT_EQ(FormatDateTime("yyyy.mm.dd hh:mm:ss.zzz", 45000.5 + 1234.0 / 86400000),
              "2023.03.15 12:00:01.234");
    EXPECT_EQ(FormatDateTime("d/m/yy 'at' h:n", 45000.5), "15/3/23 at 12:0");
    QLocale::setDefault(saved);
}

TEST(UtilsTest, BoxesBeepAsDesignedAndReturnTheAnswer)
{
    std::vector<plat::BeepKind> beeps;
    plat::SetBeepHook([&](plat::BeepKind k) { beeps.push_back(k); });
    {
        zt::BoxCapture boxes(plat::IDOK);
        EXPECT_EQ(ErrorBox("E"), plat::IDOK);
        EXPECT_EQ(WarningBox("W"), plat::IDOK);
        ASSERT_EQ(boxes.Boxes.size(), 2u);
        EXPECT_EQ(boxes.Boxes[0].Kind, plat::BoxKind::Error);
        EXPECT_EQ(boxes.Boxes[1].Kind, plat::BoxKind::Warning);
        EXPECT_EQ(boxes.Boxes[1].Text, "W");
    }
    EXPECT_EQ(beeps, (std::vector<plat::BeepKind>{plat::BeepKind::Exclamation, plat::BeepKind::Exclamation}));
    {
        zt::BoxCapture yes(plat::IDYES);
        EXPECT_TRUE(ConfirmBox("sure?"));
        EXPECT_EQ(yes.Boxes.at(0).Kind, plat::BoxKind::Confirm);
    }
    {
        zt::BoxCapture no(plat::IDNO);
        EXPECT_FALSE(ConfirmBox("sure?"));
    }
    EXPECT_EQ(beeps.size(), 2u); // no sound for a confirmation
    plat::SetBeepHook(nullptr);
}
