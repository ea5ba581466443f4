#include "KivZarnStatusTexts.h"

#include <QLabel>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <stdexcept>

#include "BarMeter.h"

const char* const DeviceStateTexts[18] = {
    "Initializing ...",
    "Idle",
    "Initializing ...",
    "Initializing - Telemetry Search ...",
    "Telemetry Search ...",
    "Telemetry Verify ...",
    "Telemetry Stabilizing ...",
    "Telemetry Stabilizing ...",
    "Telemetry Stabilizing ...",
    "Telemetry Locked",
    "Initializing - Pilot Search ...",
    "Pilot Search ...",
    "Pilot Verify ...",
    "Pilot Stabilizing ...",
    "Pilot Stabilizing ...",
    "Pilot Stabilizing ...",
    "Pilot Locked",
    "Test Hold State",
};

const char* const DeviceStateTextsV3[13] = {
    "Initializing ...",
    "Idle",
    "Initializing - Pilot Search ...",
    "Initializing - Pilot Search ...",
    "Pilot Search ...",
    "Pilot Verify ...",
    "Pilot Stabilizing ...",
    "Pilot Stabilizing ...",
    "Pilot Stabilizing ...",
    "Pilot Locked",
    "Test Hold State",
    "Resetting Demods ...",
    "Resetting Demods ...",
};

const char* const IrigOutTexts[4] = {"  Unknown", "  Not Active", "  Using IRIG IN", "  Using GPS"};

const char* const IrigInTexts[4] = {"  Unknown", "  Not Present", "  Present", "  Unknown"};

const char* const GpsStateTexts[13] = {
    "Unknown State", "Position Fixes - Time Lock",
    "Need GPS Time", "Initializing",
    "PDOP Too High", "Pos Fixes, Need UTC Corr",
    "No Sats",       "1 Sat",
    "2 Sats",        "3 Sats",
    "Sat Unusable",  "Waiting Health",
    "Not Present",
};

QString DeviceStateText(int code, bool v3)
{
    if (v3) {
        if (code >= 0 && code < int(std::size(DeviceStateTextsV3)))
            return QString::fromLatin1(DeviceStateTextsV3[code]);
    } else if (code >= 0 && code < int(std::size(DeviceStateTexts))) {
        return QString::fromLatin1(DeviceStateTexts[code]);
    }
    return {};
}

QString MainStateLine(int code, bool v3)
{
    const QString text = DeviceStateText(code, v3);
    // A state the table does not name: the number is all there is to show.
    if (text.isEmpty())
        return QStringLiteral("  %1").arg(code);
    return QStringLiteral("  %1:  %2").arg(code).arg(text);
}

QString GpsStateLine(uint8_t gpsState)
{
    const int code = gpsState & 0x7F;
    QString line = QStringLiteral("  ");
    if (code < int(std::size(GpsStateTexts)))
        line += QString::fromLatin1(GpsStateTexts[code]);
    else
        line += QString::number(code);
    if (gpsState & 0x80)
        line += QStringLiteral(" - Antenna Fault");
    return line;
}

QString IrigOutLine(uint8_t synthIrigBits)
{
    return QString::fromLatin1(IrigOutTexts[(synthIrigBits >> 2) & 3]);
}

QString IrigInLine(uint8_t synthIrigBits)
{
    return QString::fromLatin1(IrigInTexts[(synthIrigBits >> 4) & 3]);
}

namespace {

// Digits of a fixed-point text with the locale's separator put in.
QString LocalisePoint(const char* text)
{
    QString s = QString::fromLatin1(text);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        s.replace('.', point);
    return s;
}

// Exponent notation with 7 significant digits: 1.234568E+8.
QString ExponentText(double magnitude)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6E", magnitude);
    QString s = QString::fromLatin1(buf);
    // printf pads the exponent to two digits; the plain form reads better.
    const int e = s.indexOf('E');
    const QChar sign = s[e + 1];
    QString exp = s.mid(e + 2);
    while (exp.size() > 1 && exp.startsWith('0'))
        exp.remove(0, 1);
    s = s.left(e + 1) + sign + exp;
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        s.replace('.', point);
    return s;
}

} // namespace

QString FormatSignedFixed(float value, int decimals)
{
    const QString sign = value >= 0.0f ? QStringLiteral("+") : QStringLiteral("-");
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return sign + QStringLiteral("INF");
    decimals = std::clamp(decimals, 0, 18);
    const double m = std::fabs(double(value));
    // Integer digits of the value; the rounding is done at 7 significant digits or at the
    // last decimal asked for, whichever comes first.
    const int intDigits = m == 0.0 ? 1 : int(std::floor(std::log10(m))) + 1;
    if (intDigits > 7)
        return sign + ExponentText(m);
    const int keep = std::min(decimals, 7 - intDigits);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", std::max(keep, 0), m);
    QString digits = LocalisePoint(buf);
    // Rounding up may have carried into an eighth integer digit.
    if (keep == 0 && digits.size() > 7)
        return sign + ExponentText(m);
    if (keep < decimals) {
        if (keep <= 0)
            digits += QLocale().decimalPoint();
        digits += QString(decimals - std::max(keep, 0), '0');
    }
    return sign + digits;
}

bool ShowReading(QLabel* label, int decimals, float value, float min, float max)
{
    try {
        if (min <= value && value <= max) {
            label->setText(FormatSignedFixed(value, decimals));
            return true;
        }
    } catch (...) {
        // A formatting failure is shown like an implausible value.
    }
    label->setText(TextInvalid);
    return false;
}

bool ShowMeterReading(QLabel* label, TBarMeter* meter, int decimals, int p, float value)
{
    try {
        const float scale = std::pow(10.0f, float(p));
        const float lo = float(meter->Min()) / scale;
        const float hi = float(meter->Max()) / scale;
        const float span = hi - lo;
        if (ShowReading(label, decimals, value, lo - span / 2, hi + span / 2)) {
            const double scaled = std::round(double(scale * value));
            // A meter value outside the integer range would be a failure of the scaling.
            if (!(std::fabs(scaled) <= double(std::numeric_limits<int>::max())))
                throw std::range_error("meter value");
            meter->SetValue(int(scaled));
            return true;
        }
        meter->SetValue(meter->Min());
        return false;
    } catch (...) {
        label->setText(TextInvalid);
        meter->SetValue(meter->Min());
        return false;
    }
}

bool ShowMeterReading(QLabel* label, TBarMeter* meter, int decimals, float value)
{
    return ShowMeterReading(label, meter, decimals, decimals, value);
}

void ShowNotAvailable(QLabel* label, TBarMeter* meter)
{
    label->setText(TextNotAvailable);
    meter->SetValue(meter->Min());
}
