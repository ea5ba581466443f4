#include "ZarnCmdParams.h"

const std::array<TColorNameRec, 22>& ColorNameTable()
{
    static const std::array<TColorNameRec, 22> table{{
        {"clBlack", 0x000000},   {"clRed", 0x0000FF},     {"clMaroon", 0x000080},     {"clGreen", 0x008000},
        {"clOlive", 0x008080},   {"clLime", 0x00FF00},    {"clMoneyGreen", 0xC0DCC0}, {"clBlue", 0xFF0000},
        {"clSkyBlue", 0xF0CAA6}, {"clTeal", 0x808000},    {"clNavy", 0x800000},       {"clAqua", 0xFFFF00},
        {"clPurple", 0x800080},  {"clFuchsia", 0xFF00FF}, {"clYellow", 0x00FFFF},     {"clSilver", 0xC0C0C0},
        {"clGray", 0x808080},    {"clLtGray", 0xC0C0C0},  {"clMedGray", 0xA4A0A0},    {"clDkGray", 0x808080},
        {"clCream", 0xF0FBFF},   {"clWhite", 0xFFFFFF},
    }};
    return table;
}

QColor ColorFromRef(uint32_t ref)
{
    return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

std::optional<long long> ReadIntegerText(const QString& text)
{
    QString s = text.trimmed();
    bool neg = false;
    if (s.startsWith('-') || s.startsWith('+')) {
        neg = s.startsWith('-');
        s = s.mid(1);
    }
    bool ok = false;
    long long v = 0;
    if (s.startsWith('$'))
        v = s.mid(1).toLongLong(&ok, 16);
    else if (s.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        v = s.mid(2).toLongLong(&ok, 16);
    else if (!s.isEmpty() && s[0].isDigit())
        v = s.toLongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFLL)
        return std::nullopt;
    return neg ? -v : v;
}

QString DequoteTitle(const QString& text)
{
    if (!text.startsWith('"'))
        return text;
    QString out;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                out += '"';
                ++i;
                continue;
            }
            break; // closing quote: the rest is not part of the title
        }
        out += text[i];
    }
    return out;
}

TCmdParams ParseCmdParams(const QStringList& args)
{
    TCmdParams p;
    for (const QString& a : args) {
        if (a == QLatin1String("-AQDSS")) {
            p.Maintenance = true;
        } else if (a == QLatin1String("-PRG")) {
            p.ProgramPage = true;
        } else if (a.startsWith(QLatin1String("-IP="))) {
            p.Address = a.mid(4);
        } else if (a.startsWith(QLatin1String("-T="))) {
            p.TitleText = DequoteTitle(a.mid(3));
        } else if (a.startsWith(QLatin1String("-TB"))) {
            p.TitleBanner = true;
            if (a.size() > 3 && a[3] == '=') {
                const QString v = a.mid(4).toUpper();
                bool named = false;
                for (const auto& c : ColorNameTable()) {
                    if (QString::fromLatin1(c.Name).toUpper() == v) {
                        p.BannerColor = c.Value;
                        named = true;
                        break;
                    }
                }
                if (!named && v.size() == 7 && v.startsWith('$')) {
                    bool ok = false;
                    uint32_t n = v.mid(1).toUInt(&ok, 16);
                    if (ok)
                        p.BannerColor = n;
                }
            }
        } else if (a.startsWith(QLatin1String("-PA="))) {
            if (auto v = ReadIntegerText(a.mid(4)); v && *v >= -300 && *v <= 300)
                p.PcAlarm = static_cast<int>(*v);
        } else if (a.startsWith(QLatin1String("-SHOT="))) {
            const QString v = a.mid(6);
            const qsizetype colon = v.indexOf(':');
            bool ok = false;
            const int ms = v.left(colon).toInt(&ok);
            if (colon > 0 && ok && ms >= 0 && colon + 1 < v.size()) {
                p.ShotDelayMs = ms;
                p.ShotFile = v.mid(colon + 1);
            }
        } else if (a.startsWith(QLatin1String("-SHOTTAB="))) {
            p.ShotTab = a.mid(9);
        }
    }
    return p;
}
