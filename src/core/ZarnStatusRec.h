#pragma once
// The device status record in its one current form (120 bytes, as generations 8
// to 11 send it) and the converters from the older 112- and 111-byte layouts.
// Records are decoded field by field from little-endian bytes whatever the host;
// the structs hold plain values, the wire offsets are noted beside each field.
#include <QString>
#include <cstdint>
#include <span>

struct TZarnFrame;

// One demodulator's part of the status record (42 bytes, the same in every layout).
struct TZarnDemodRec {
    static constexpr int WireSize = 42;

    uint8_t State = 0;      // 0: demodulator state; 7 = error
    uint8_t Flags = 0;      // 1: bit 0 IRIG OK, bit 1 synthesizer lock, bit 4 carrier detected
    float PilotLevel = 0;   // 2: dBm EIRP
    float AmpNoise = 0;     // 6: dBm EIRP
    float ChanNoise = 0;    // 10: dBm EIRP
    float PhaseNoise = 0;   // 14
    float FreqError = 0;    // 18: Hz
    char TimeText[20] = {}; // 22: IRIG time, NUL-ended when shorter than 20

    // Reads the 42 bytes at p.
    static TZarnDemodRec FromBytes(const uint8_t* p);
    void ToBytes(uint8_t* p) const;
    // The time text up to the first NUL, at most 19 characters.
    QString Time() const;
};

struct TZarnStatusRec {
    static constexpr int WireSize = 120;

    uint8_t MainState = 0; // 0: main-state index
    uint8_t SynthIrigBits =
        0; // 1: bit 0 (up) synth lock, bit 1 down synth lock, bits 2-3 IRIG out, bits 4-5 IRIG in
    uint8_t GpsState = 0;    // 2: bits 0-6 GPS state, bit 7 antenna fault
    uint8_t StatusBits = 0;  // 3: pilot 1 lock/active, PSU A, wide band, AGC, PSU B, pilot 2 lock/active
    float WideBandGain = 0;  // 4
    float WideBandLevel = 0; // 8: dBm
    float VcoVolts = 0;      // 12: V
    float Reserved = 0;      // 16: carried, not displayed
    float VcoFreq = 0;       // 20: Hz
    float IfFreq = 0;        // 24: MHz
    float UpSynthFreq = 0;   // 28: MHz
    float DownSynthFreq = 0; // 32: MHz
    TZarnDemodRec Demod1;    // 36
    TZarnDemodRec Demod2;    // 78

    // Reads the current 120-byte layout; bytes beyond the span read as zero.
    static TZarnStatusRec FromBytes(std::span<const uint8_t> bytes);
    // Writes the current 120-byte layout.
    void ToBytes(uint8_t* out) const;
};

// Status payload size a generation sends: 120 (8-11), 112 (6-7) or 111 (others).
int StatusPayloadSize(int generation);

// Decodes a status frame for a generation. The number of payload bytes taken
// depends on the generation only; positions beyond the frame's Length read as zero.
TZarnStatusRec DecodeStatus(const TZarnFrame& frame, int generation);
// Older layouts (generations 6-7 and 1-5); bytes beyond the span read as zero.
TZarnStatusRec ConvertFrom112(std::span<const uint8_t> bytes);
TZarnStatusRec ConvertFrom111(std::span<const uint8_t> bytes);

// The record's time: Demod1's text, or Demod2's when that is empty.
struct TZarnRecordTime {
    QString Text;        // as shown: "No Time Sent" when absent or when characters 4-6 are "000"
    bool Valid = false;  // false only when neither demodulator sent a text
    QString IntervalKey; // characters 14-15 of the valid text before replacement; empty otherwise
};
TZarnRecordTime RecordTime(const TZarnStatusRec& rec);

// Little-endian single-precision float at p, read byte by byte.
float ReadF32LE(const uint8_t* p);
void WriteF32LE(uint8_t* p, float v);
