#pragma once
// The command line, read as the program has always read it: case-sensitive options,
// each argument acting on the first rule that matches, later ones overriding earlier.
#include <QColor>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

struct TColorNameRec {
    const char* Name;
    uint32_t Value; // colour reference: low byte red, then green, then blue
};

const std::array<TColorNameRec, 22>& ColorNameTable();
QColor ColorFromRef(uint32_t ref);

struct TCmdParams {
    bool Maintenance = false;            // -AQDSS
    bool ProgramPage = false;            // -PRG
    std::optional<QString> Address;      // -IP=
    std::optional<QString> TitleText;    // -T=
    bool TitleBanner = false;            // -TB
    std::optional<uint32_t> BannerColor; // -TB=name or -TB=$BBGGRR
    std::optional<int> PcAlarm;          // -PA=
    // Screenshot of the window: -SHOT=<milliseconds>:<file.png>, optionally -SHOTTAB=<tab caption>.
    std::optional<int> ShotDelayMs;
    QString ShotFile;
    QString ShotTab;
};

TCmdParams ParseCmdParams(const QStringList& args);

// Integer text as the options take it: decimal, or hexadecimal after "$"; optional sign.
std::optional<long long> ReadIntegerText(const QString& text);
// The -T= text: surrounding double quotes removed, doubled quotes inside reduced to one.
QString DequoteTitle(const QString& text);
