#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextStream>

#include "KivZarnSetupFrame.h"
#include "MessageBoxes.h"
#include "TestSupport.h"
#include "ZarnSettings.h"
#include "ZarnUtilityMain.h"

namespace {
QString ReadAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

void Write(const QString& path, const QString& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

// Opens the window as the program does and closes it again (settings saved on close).
struct Window {
    Window(const QString& ini, const QStringList& args) : W(ini, args) { W.show(); }
    ~Window() { W.close(); }
    TfrmZarnUtility W;
};
} // namespace

TEST(MainWindow, TitleAndBannerRules)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("zarn.INI");
    {
        Window w(ini, {"-T=Site A"});
        EXPECT_EQ(w.W.windowTitle(), "Site A - ZARN Monitor V3.1");
        EXPECT_EQ(plat::ApplicationTitle(), "ZARN Site A");
        EXPECT_FALSE(w.W.pnlTitle->isVisible());
        EXPECT_EQ(w.W.height(), w.W.MainFrame->height()); // banner's 32 pixels given back
    }
    {
        Window w(ini, {"-TB=clred", "-T=\"Site B\""});
        EXPECT_EQ(w.W.windowTitle(), "ZARN Monitor V3.1");
        EXPECT_TRUE(w.W.pnlTitle->isVisible());
        EXPECT_EQ(w.W.pnlTitle->text(), "Site B");
        EXPECT_EQ(w.W.pnlTitle->palette().color(QPalette::Window), QColor(255, 0, 0));
        EXPECT_EQ(w.W.height(), w.W.MainFrame->height() + 32);
    }
    {
        Window w(ini, {"-TB", "-T="}); // banner wanted but no text: hidden, default titles
        EXPECT_EQ(w.W.windowTitle(), "ZARN Monitor V3.1");
        EXPECT_EQ(plat::ApplicationTitle(), "ZARN Monitor");
        EXPECT_FALSE(w.W.pnlTitle->isVisible());
    }
}

TEST(MainWindow, IniRoundTripKeepsOtherSectionsAndKeys)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("zarn.INI");
    Write(ini, "; operator notes\r\n"
               "[Other]\r\nS/N=1234\r\nKey With Spaces=x\r\n"
               "[ZARN]\r\nIP Address=127.0.0.7\r\nPC Alarm=$0F\r\nLast Version=V3.04 Desktop\r\n"
               "DefaultIF_GOESN=70.5\r\nGOES_ZARN=0\r\nExtra Key=keep me\r\n");
    const TZarnIniSettings s = LoadZarnIni(ini);
    EXPECT_EQ(s.IpAddress, "127.0.0.7");
    EXPECT_EQ(s.PcAlarm, 15);
    EXPECT_EQ(s.LastVersion, "V3.04 Desktop");
    EXPECT_FALSE(s.GoesZarn);
    EXPECT_FLOAT_EQ(s.DefaultIfGoesN, 70.5f);
    EXPECT_FLOAT_EQ(s.DefaultIfGoesR, 62.85f);
    {
        Window w(ini, {"-PA=-7", "-IP=127.0.0.8"});
        EXPECT_EQ(w.W.MainFrame->LinkAddress(), "127.0.0.8");
        EXPECT_EQ(w.W.MainFrame->Generation(), 11); // the remembered version lays the pages out
        EXPECT_FLOAT_EQ(w.W.MainFrame->SetupFrame->Defaults().IfGoesN, 70.5f);
    }
    // Never identified during the run: "Last Version" goes, the rest stays.
    const QString text = ReadAll(ini);
    EXPECT_TRUE(text.contains("; operator notes"));
    EXPECT_TRUE(text.contains("S/N=1234"));
    EXPECT_TRUE(text.contains("Key With Spaces=x"));
    EXPECT_TRUE(text.contains("Extra Key=keep me"));
    EXPECT_TRUE(text.contains("IP Address=127.0.0.8"));
    EXPECT_TRUE(text.contains("PC Alarm=-7"));
    EXPECT_FALSE(text.contains("Last Version"));
    EXPECT_EQ(LoadZarnIni(ini).LastVersion, "V2.00");
}

TEST(MainWindow, MissingIniGivesDefaults)
{
    const TZarnIniSettings s = LoadZarnIni("/nonexistent/zarn.INI");
    EXPECT_EQ(s.IpAddress, "127.0.0.1");
    EXPECT_EQ(s.PcAlarm, -20);
    EXPECT_EQ(s.LastVersion, "V2.00");
    EXPECT_TRUE(s.GoesZarn);
    EXPECT_FLOAT_EQ(s.DefaultSawGoesR, 160.1f);
    EXPECT_EQ(ZarnIniPath("/opt/zarn/zarn-monitor").endsWith("/zarn-monitor.INI"), true);
}
