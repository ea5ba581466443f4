#pragma once
// What the status pages share: the tables that name the device's states, the formatting of
// readings, the plausibility rule and the scaling of readings onto bar meters.
#include <QString>
#include <cstdint>

class QLabel;
class TBarMeter;

// Main state texts for firmware before version 3 (generation codes 0 to 7).
extern const char* const DeviceStateTexts[18];
// Main state texts for version 3 firmware (generation codes 8 to 11).
extern const char* const DeviceStateTextsV3[13];
// Source of the IRIG output, 2-bit code.
extern const char* const IrigOutTexts[4];
// IRIG input, 2-bit code.
extern const char* const IrigInTexts[4];
// GPS receiver state, 7-bit code.
extern const char* const GpsStateTexts[13];

// Table text for a main state, or an empty string for a code the table does not name.
QString DeviceStateText(int code, bool v3);
// The state line: two blanks, the code, a colon, two blanks and the text ("  9:  Pilot Locked").
// A code beyond the table shows the number alone ("  18").
QString MainStateLine(int code, bool v3);
// The GPS line: two blanks and the text for bits 0-6 (the number alone beyond the table),
// then " - Antenna Fault" when bit 7 is set.
QString GpsStateLine(uint8_t gpsState);
// IRIG texts for bits 2-3 (output) and 4-5 (input) of the synthesizer/IRIG byte.
QString IrigOutLine(uint8_t synthIrigBits);
QString IrigInLine(uint8_t synthIrigBits);

// The texts a reading label shows when the reading is implausible or absent.
inline const QString TextInvalid = QStringLiteral("INV");
inline const QString TextNotAvailable = QStringLiteral("N/A");

// Fixed-point text with `decimals` decimals, rounded to at most 7 significant digits (exponent
// notation beyond 7 integer digits), in the locale's decimal separator; "+" for 0 and above.
QString FormatSignedFixed(float value, int decimals);

// Shows the value on the label when min <= value <= max and returns true; otherwise "INV", false.
bool ShowReading(QLabel* label, int decimals, float value, float min, float max);

// Shows a reading on a label and a meter scaled by 10^p. The plausible window is the meter's
// range widened by half its span on each side (closed at both ends); outside it, or on any
// failure, the label shows "INV" and the meter its Min.
bool ShowMeterReading(QLabel* label, TBarMeter* meter, int decimals, int p, float value);
// As above with p = decimals.
bool ShowMeterReading(QLabel* label, TBarMeter* meter, int decimals, float value);

// "N/A" on the label and the meter at its Min: the look of a reading the device does not give.
void ShowNotAvailable(QLabel* label, TBarMeter* meter);
