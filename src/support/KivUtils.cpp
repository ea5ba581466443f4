#include "KivUtils.h"

#include <cmath>

#include "Beep.h"
#include "Clock.h"
#include "MessageBoxes.h"

namespace {

TZarnFormatSettings g_settings;

constexpr double kMsPerDay = 86400000.0;

struct Parts {
    int64_t Year;
    int Month, Day, Hour, Minute, Second, Milli;
};

// Day count (days since 30 December 1899) to calendar date and time of day.
Parts Split(double days)
{
    int64_t totalMs = std::llround(days * kMsPerDay);
    int64_t day = totalMs >= 0 ? totalMs / 86400000 : -((-totalMs + 86399999) / 86400000);
    int64_t msOfDay = totalMs - day * 86400000;

    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    int64_t z = day - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);

    Parts p{};
    p.Year = y;
    p.Month = m;
    p.Day = d;
    p.Hour = static_cast<int>(msOfDay / 3600000);
    p.Minute = static_cast<int>(msOfDay / 60000 % 60);
    p.Second = static_cast<int>(msOfDay / 1000 % 60);
    p.Milli = static_cast<int>(msOfDay % 1000);
    return p;
}

QString Num(int64_t v, int width)
{
    return QString("%1").arg(v, width, 10, QChar('0'));
}

} // namespace

void ApplyStartupFormatSettings()
{
    g_settings = TZarnFormatSettings{};
}

TZarnFormatSettings& FormatSettings()
{
    return g_settings;
}

QString FormatDateTime(const QString& format, double days)
{
    const Parts p = Split(days);
    QString out;
    bool afterHour = false;
    const int n = static_cast<int>(format.size());
    for (int i = 0; i < n;) {
        const QChar c = format[i];
        if (c == '"' || c == '\'') {
            int j = i + 1;
            while (j < n && format[j] != c)
                out += format[j++];
            i = j + 1;
            continue;
        }
        int run = 1;
        while (i + run < n && format[i + run].toLower() == c.toLower())
            ++run;
        const QChar lc = c.toLower();
        if (lc == 'y') {
            out += run <= 2 ? Num(p.Year % 100, 2) : Num(p.Year, 4);
            afterHour = false;
        } else if (lc == 'm') {
            const bool minutes = afterHour;
            const int v = minutes ? p.Minute : p.Month;
            out += run >= 2 ? Num(v, 2) : QString::number(v);
            run = std::min(run, 2);
            afterHour = false;
        } else if (lc == 'd') {
            out += run >= 2 ? Num(p.Day, 2) : QString::number(p.Day);
            run = std::min(run, 2);
            afterHour = false;
        } else if (lc == 'h') {
            out += run >= 2 ? Num(p.Hour, 2) : QString::number(p.Hour);
            run = std::min(run, 2);
            afterHour = true;
        } else if (lc == 'n') {
            out += run >= 2 ? Num(p.Minute, 2) : QString::number(p.Minute);
            run = std::min(run, 2);
            afterHour = false;
        } else if (lc == 's') {
            out += run >= 2 ? Num(p.Second, 2) : QString::number(p.Second);
            run = std::min(run, 2);
            afterHour = false;
        } else if (lc == 'z') {
            out += run >= 3 ? Num(p.Milli, 3) : QString::number(p.Milli);
            run = std::min(run, 3);
            afterHour = false;
        } else if (c == '/') {
            out += g_settings.DateSeparator;
            run = 1;
        } else if (c == ':') {
            out += g_settings.TimeSeparator;
            run = 1;
        } else {
            out += c;
            run = 1;
        }
        i += run;
    }
    return out;
}

QString FormatDate(double days)
{
    return FormatDateTime(g_settings.ShortDateFormat, days);
}

QString FormatTime(double days)
{
    return FormatDateTime(g_settings.LongTimeFormat, days);
}

QString FormatDateTimeText(double days)
{
    return FormatDate(days) + ' ' + FormatTime(days);
}

double MsToDays(int32_t ms)
{
    return ms / 1000.0 / 86400.0;
}

double UtcNow()
{
    return plat::Clock::UtcNowDays();
}

bool IntervalElapsed(double& last, int32_t intervalMs)
{
    const double now = UtcNow();
    const double d = MsToDays(intervalMs);
    if (last + d < now || last - 2 * d > now) {
        last = now;
        return true;
    }
    return false;
}

bool HasAllBits(uint8_t value, uint8_t mask)
{
    return (value & mask) == mask;
}

std::string BytesToText(const void* p, int n)
{
    if (n <= 0 || p == nullptr)
        return {};
    return std::string(static_cast<const char*>(p), static_cast<size_t>(n));
}

int ErrorBox(const QString& text)
{
    plat::Beep(plat::BeepKind::Exclamation);
    return plat::ShowMessageBox(plat::BoxKind::Error, text);
}

int WarningBox(const QString& text)
{
    plat::Beep(plat::BeepKind::Exclamation);
    return plat::ShowMessageBox(plat::BoxKind::Warning, text);
}

bool ConfirmBox(const QString& text)
{
    return plat::ShowMessageBox(plat::BoxKind::Confirm, text) == plat::IDYES;
}
