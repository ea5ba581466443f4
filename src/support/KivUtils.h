#pragma once
// Small helpers shared across the program: fixed date/time formats, UTC time in
// day units, the elapsed-interval test, bit and byte helpers and the message boxes.
//
// Times are day counts in double precision: whole days since 30 December 1899,
// the fraction being the time of day.
#include <QString>
#include <cstdint>
#include <string>

// How the program formats dates and times. Format tokens: d dd m mm yy yyyy (date),
// h hh n nn s ss z zzz (time, 24-hour; m/mm right after an hour token means minutes),
// "/" and ":" stand for the separators below, text in quotes is copied as it is.
struct TZarnFormatSettings {
    QChar DateSeparator = '/';
    QChar TimeSeparator = ':';
    QString ShortDateFormat = "mm/dd/yyyy";
    QString LongDateFormat = "mm/dd/yyyy";
    QString ShortTimeFormat = "HH:nn:ss";
    QString LongTimeFormat = "HH:nn:ss";
};

// Applied once at start-up, before any window is shown: month/day/year and 24-hour
// time with seconds whatever the user's locale. The formatting helpers below never
// consult the system locale, so a later change of it has no effect.
void ApplyStartupFormatSettings();
// The settings in force (UI thread; changed only by the start-up call and tests).
TZarnFormatSettings& FormatSettings();

// Formats a day count with an explicit format (tokens as above).
QString FormatDateTime(const QString& format, double days);
// Short date format, long time format, and both separated by a space.
QString FormatDate(double days);
QString FormatTime(double days);
QString FormatDateTimeText(double days);

// Milliseconds as a day count.
double MsToDays(int32_t ms);
// Current UTC time as a day count.
double UtcNow();
// True when the interval has elapsed since `last` (or the clock was set back by
// more than two intervals); then `last` becomes now. Otherwise `last` is unchanged.
bool IntervalElapsed(double& last, int32_t intervalMs);

// True when every bit set in mask is also set in value.
bool HasAllBits(uint8_t value, uint8_t mask);
// Exactly n bytes copied from p, zero bytes included; n <= 0 gives the empty text.
std::string BytesToText(const void* p, int n);

// Exclamation beep, then a modal error / warning box with OK; returns the dialog result.
int ErrorBox(const QString& text);
int WarningBox(const QString& text);
// Modal Yes/No box without a sound; true exactly when Yes is chosen.
bool ConfirmBox(const QString& text);
