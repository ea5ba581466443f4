#include <gtest/gtest.h>

#include <cstring>

#include "ZarnFrame.h"
#include "ZarnVersion.h"

TEST(VersionTest, ParseVersionTable)
{
    struct Case {
        const char* text;
        int generation;
    };
    const Case cases[] = {
        {"Unit V3.04 Desktop", 11},
        {"Unit V3.04", 10},
        {"V3.10", 8},
        {"V3.09 Desktop", 11},
        {"Desktop V3.00", 9},
        {"V2.00", 3},
        {"V2.01", 3},
        {"V2.05 Desktop", 3}, // below y = 1, Desktop plays no part
        {"V2.10", 4},
        {"V2.10 Desktop", 5},
        {"V2.11", 6},
        {"V2.11 Desktop", 7},
        {"V2.99", 6},
        {"V1.10", 2},
        {"V1.00", 1},
        {"Unit V1.00 rev A", 1},
        {"V1.10 Desktop", 2},
        {"V1.20", 0},
        {"V4.00", 0},
        {"V0.00", 0},
        {"Version 2.00", 0}, // the first capital V is followed by "e"
        {"v2.00", 0},        // lower case does not count
        {"ZARN V2.1", 0},    // token too short
        {"V2.1", 0},
        {"V2,10", 0},
        {"", 0},
        {"no version here", 0},
        {"V3.0", 0},
        {"V3.0x", 10}, // digits compare by character code: 'x' is above '4'
        {"V2.1/", 4},  // '/' is below '1'
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseVersion(c.text), c.generation) << '"' << c.text << '"';
}

TEST(VersionTest, IsV3)
{
    for (int g = 0; g <= 12; ++g)
        EXPECT_EQ(IsV3(g), g >= 8 && g <= 11) << g;
}

TEST(VersionTest, IdentityTextStopsAtNulAndLength)
{
    TZarnFrame f;
    std::memcpy(f.Payload, "ZARN V3.04\0junk", 15);
    f.Length = 15;
    EXPECT_EQ(IdentityText(f), "ZARN V3.04");
    f.Length = 6;
    EXPECT_EQ(IdentityText(f), "ZARN V");
    f.Length = 0;
    EXPECT_EQ(IdentityText(f), "");
    std::memset(f.Payload, 'A', sizeof f.Payload);
    f.Length = 128;
    EXPECT_EQ(IdentityText(f).size(), 128);
}

TEST(VersionTest, UnrecognisedIdentityShowsTabsByMode)
{
    for (bool maintenance : {false, true})
        for (bool program : {false, true}) {
            SCOPED_TRACE(testing::Message() << maintenance << program);
            const auto p = PlanIdentity("Could be anything", {6, true, maintenance, program});
            EXPECT_FALSE(p.Recognised);
            EXPECT_EQ(p.Generation, 0);
            EXPECT_TRUE(p.RunOperationLayout);
            EXPECT_FALSE(p.RunSetupApplyLayout);
            EXPECT_FALSE(p.RunCalibGenerationStep);
            EXPECT_FALSE(p.SetupCalCaption.has_value());
            EXPECT_EQ(p.BtnTelemVisible, std::optional<bool>(maintenance));
            EXPECT_FALSE(p.AlarmButtonVisible);
            EXPECT_EQ(p.DemodTabVisible, maintenance);
            EXPECT_EQ(p.AlarmTabVisible, maintenance);
            EXPECT_EQ(p.SetupTabVisible, maintenance);
            EXPECT_EQ(p.CommTabVisible, maintenance);
            EXPECT_EQ(p.SetupCalTabVisible, maintenance);
            EXPECT_EQ(p.ProgramTabVisible, maintenance || program);
        }
}

TEST(VersionTest, RecognisedIdentityPlan)
{
    struct Case {
        const char* text;
        int before;
        bool connected, maintenance;
        int generation;
        bool changed, setupLayout;
        const char* caption; // nullptr: unchanged
        bool alarmParts;     // rzbtnAlarm, Alarms and Setup tabs
        bool commAndCal;
    };
    const Case cases[] = {
        {"V1.00", 0, true, false, 1, true, false, "Setup/Cal", false, false},
        {"V1.10", 0, true, true, 2, true, false, "Calibration", true, true},
        {"V2.00", 2, true, false, 3, true, true, "Calibration", true, false},
        {"V2.00", 3, true, true, 3, false, false, nullptr, true, true},         // same again
        {"V3.04", 3, false, true, 10, true, true, "Calibration", false, false}, // not connected
        {"V1.00", 1, true, true, 1, false, false, nullptr, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " from " << c.before);
        const auto p = PlanIdentity(c.text, {c.before, c.connected, c.maintenance, false});
        EXPECT_TRUE(p.Recognised);
        EXPECT_EQ(p.Generation, c.generation);
        EXPECT_EQ(p.Changed, c.changed);
        EXPECT_EQ(p.RunOperationLayout, c.changed);
        EXPECT_EQ(p.RunSetupApplyLayout, c.setupLayout);
        EXPECT_TRUE(p.RunCalibGenerationStep); // on every recognised call
        EXPECT_EQ(p.SetupCalCaption.has_value(), c.caption != nullptr);
        if (c.caption) {
            EXPECT_EQ(*p.SetupCalCaption, c.caption);
        }
        EXPECT_FALSE(p.BtnTelemVisible.has_value());
        EXPECT_EQ(p.DemodTabVisible, c.connected);
        EXPECT_EQ(p.AlarmButtonVisible, c.alarmParts);
        EXPECT_EQ(p.AlarmTabVisible, c.alarmParts);
        EXPECT_EQ(p.SetupTabVisible, c.alarmParts);
        EXPECT_EQ(p.CommTabVisible, c.commAndCal);
        EXPECT_EQ(p.SetupCalTabVisible, c.commAndCal);
        EXPECT_EQ(p.ProgramTabVisible, c.maintenance);
    }
    EXPECT_TRUE(PlanIdentity("V2.00", {3, false, false, true}).ProgramTabVisible);
}
