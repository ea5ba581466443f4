#include <gtest/gtest.h>

#include "ZarnCmdParams.h"

namespace {
struct Case {
    QStringList Args;
    bool Maintenance;
    bool ProgramPage;
    std::optional<QString> Address;
    std::optional<QString> Title;
    bool Banner;
    std::optional<uint32_t> Color;
    std::optional<int> PcAlarm;
};
} // namespace

TEST(CmdParams, TableOfArguments)
{
    const Case cases[] = {
        {{"-aqdss"}, false, false, {}, {}, false, {}, {}},
        {{"-AQDSS"}, true, false, {}, {}, false, {}, {}},
        {{"-PRG", "-prg"}, false, true, {}, {}, false, {}, {}},
        {{"-IP=127.0.0.5", "-IP=127.0.0.9"}, false, false, QString("127.0.0.9"), {}, false, {}, {}},
        {{"-TB"}, false, false, {}, {}, true, {}, {}},
        {{"-TB=clred"}, false, false, {}, {}, true, 0x0000FFu, {}},
        {{"-TB=clLtGray"}, false, false, {}, {}, true, 0xC0C0C0u, {}},
        {{"-TB=$FF0000"}, false, false, {}, {}, true, 0xFF0000u, {}},
        {{"-TB=$FF00"}, false, false, {}, {}, true, {}, {}},
        {{"-TB=$GGGGGG"}, false, false, {}, {}, true, {}, {}},
        {{"-TBX"}, false, false, {}, {}, true, {}, {}},
        {{"-PA=300"}, false, false, {}, {}, false, {}, 300},
        {{"-PA=-300"}, false, false, {}, {}, false, {}, -300},
        {{"-PA=301"}, false, false, {}, {}, false, {}, {}},
        {{"-PA=abc", "-AQDSS"}, true, false, {}, {}, false, {}, {}},
        {{"-PA=$1F"}, false, false, {}, {}, false, {}, 31},
        {{"-PA=5", "-PA=999"}, false, false, {}, {}, false, {}, 5},
        {{"-T="}, false, false, {}, QString(""), false, {}, {}},
        {{"-T=Site A"}, false, false, {}, QString("Site A"), false, {}, {}},
        {{"-T=\"Site \"\"B\"\"\""}, false, false, {}, QString("Site \"B\""), false, {}, {}},
        {{"unknown", "-X"}, false, false, {}, {}, false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        const TCmdParams p = ParseCmdParams(c.Args);
        EXPECT_EQ(p.Maintenance, c.Maintenance);
        EXPECT_EQ(p.ProgramPage, c.ProgramPage);
        EXPECT_EQ(p.Address, c.Address);
        EXPECT_EQ(p.TitleText, c.Title);
        EXPECT_EQ(p.TitleBanner, c.Banner);
        EXPECT_EQ(p.BannerColor, c.Color);
        EXPECT_EQ(p.PcAlarm, c.PcAlarm);
    }
}

TEST(CmdParams, ColourTableIsInReferenceOrderAndScreenshotOptionParses)
{
    ASSERT_EQ(ColorNameTable().size(), 22u);
    EXPECT_STREQ(ColorNameTable().front().Name, "clBlack");
    EXPECT_STREQ(ColorNameTable().back().Name, "clWhite");
    EXPECT_EQ(ColorFromRef(0xFF0000), QColor(0, 0, 255)); // blue in the reference's byte order
    EXPECT_EQ(ColorFromRef(0x0000FF), QColor(255, 0, 0));

    const TCmdParams p = ParseCmdParams({"-SHOT=2500:/tmp/x:y.png", "-SHOTTAB=Demod"});
    EXPECT_EQ(p.ShotDelayMs, 2500);
    EXPECT_EQ(p.ShotFile, "/tmp/x:y.png");
    EXPECT_EQ(p.ShotTab, "Demod");
    EXPECT_FALSE(ParseCmdParams({"-SHOT=abc:/tmp/x.png"}).ShotDelayMs);
}
