#pragma once
// The device's records: status record in the three generation layouts, identity texts,
// and the factory contents of the set-up, alarm set-up and calibration records.
#include <array>
#include <string>

#include "SimWire.h"

namespace zsim {

constexpr int kMinGeneration = 1;
constexpr int kMaxGeneration = 11;

// Identity text a device of this generation sends (1..11), e.g. "ZARN V3.04 Desktop" for 11.
std::string IdentityFor(int generation);
// Generation a monitor reads from an identity text, 0 when it reads none.
int GenerationOf(const std::string& identity);
inline bool IsV3(int generation)
{
    return generation >= 8;
}
inline bool IsDesktop(int generation)
{
    return generation == 5 || generation == 7 || (generation >= 9 && generation % 2 == 1);
}
// Status payload length for a generation: 111, 112 or 120.
size_t StatusLength(int generation);

struct SimDemod {
    uint8_t State = 0;
    uint8_t Flags = 0; // bit 0 IRIG OK, bit 1 synthesizer lock, bit 4 carrier detected
    float PilotLevel = 0;
    float AmpNoise = 0;
    float ChanNoise = 0;
    float PhaseNoise = 0;
    float FreqError = 0;
    std::string TimeText; // at most 20 characters; NUL-terminated on the wire when shorter
};

// The status in its full (newest) form; older generations send a subset.
struct SimStatus {
    uint8_t MainState = 0;
    uint8_t SynthIrigBits = 0;
    uint8_t GpsState = 0;
    uint8_t StatusBits = 0;
    float WideBandGain = 0;
    float WideBandLevel = 0;
    float VcoVolts = 0;
    float Reserved = 0;
    float VcoFreq = 0;
    float IfFreq = 0;
    float UpSynthFreq = 0;
    float DownSynthFreq = 0;
    SimDemod Demod1;
    SimDemod Demod2;
};

// Status payload in the layout of the generation (120 bytes for 8-11, 112 for 6-7, 111 for 1-5).
Bytes EncodeStatus(const SimStatus& s, int generation);

constexpr size_t kSetupLength = 42;
constexpr size_t kAlarmSetupLength = 26;
constexpr size_t kCalibLength = 64;
constexpr size_t kVcoCalLength = 8;

// Factory set-up record in the generation's layout; the default year is the given two-digit year.
Bytes DefaultSetup(int generation, int yearOfCentury);
// Factory alarm set-up: Sonalert on, RF/pilots latched, supply and IRIG enabled.
Bytes DefaultAlarmSetup();
Bytes DefaultCalib();
Bytes DefaultVcoCal();

// VCO frequency in Hz at a tuning voltage, interpolated in the calibration record's 17-point table
// (0.25 V to 4.25 V), extended linearly beyond its ends.
float VcoFreqAt(const Bytes& calib, float volts);

} // namespace zsim
