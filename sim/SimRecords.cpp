#include "SimRecords.h"

#include <cmath>

namespace zsim {

std::string IdentityFor(int generation)
{
    static const char* const texts[] = {
        "",                   // 0: not a device generation
        "ZARN V1.00",         // 1
        "ZARN V1.10",         // 2
        "ZARN V2.00",         // 3
        "ZARN V2.10",         // 4
        "ZARN V2.10 Desktop", // 5
        "ZARN V2.11",         // 6
        "ZARN V2.11 Desktop", // 7
        "ZARN V3.01",         // 8
        "ZARN V3.01 Desktop", // 9
        "ZARN V3.04",         // 10
        "ZARN V3.04 Desktop", // 11
    };
    if (generation < kMinGeneration || generation > kMaxGeneration)
        return "";
    return texts[generation];
}

int GenerationOf(const std::string& text)
{
    size_t p = text.find('V');
    if (p == std::string::npos || text.size() < p + 5 || text[p + 2] != '.')
        return 0;
    std::string token = text.substr(p, 5);
    char x = token[1], y = token[3], z = token[4];
    bool desktop = text.find("Desktop") != std::string::npos;
    if (x == '3')
        return (z >= '4' ? 10 : 8) + (desktop ? 1 : 0);
    if (x == '2') {
        if (y < '1')
            return 3;
        return (z >= '1' ? 6 : 4) + (desktop ? 1 : 0);
    }
    if (token == "V1.10")
        return 2;
    if (token == "V1.00")
        return 1;
    return 0;
}

size_t StatusLength(int generation)
{
    if (generation >= 8)
        return 120;
    if (generation >= 6)
        return 112;
    return 111;
}

namespace {

void PutDemod(uint8_t* p, const SimDemod& d)
{
    p[0] = d.State;
    p[1] = d.Flags;
    PutF32(p + 2, d.PilotLevel);
    PutF32(p + 6, d.AmpNoise);
    PutF32(p + 10, d.ChanNoise);
    PutF32(p + 14, d.PhaseNoise);
    PutF32(p + 18, d.FreqError);
    for (size_t i = 0; i < 20 && i < d.TimeText.size(); ++i)
        p[22 + i] = uint8_t(d.TimeText[i]);
}

// The six floats every layout carries, in order, starting at p.
void PutSixFloats(uint8_t* p, const SimStatus& s)
{
    PutF32(p + 0, s.WideBandGain);
    PutF32(p + 4, s.WideBandLevel);
    PutF32(p + 8, s.VcoVolts);
    PutF32(p + 12, s.Reserved);
    PutF32(p + 16, s.VcoFreq);
    PutF32(p + 20, s.IfFreq);
}

} // namespace

Bytes EncodeStatus(const SimStatus& s, int generation)
{
    Bytes out(StatusLength(generation), 0);
    uint8_t* p = out.data();
    p[0] = s.MainState;
    p[1] = s.SynthIrigBits;
    if (generation >= 8) {
        p[2] = s.GpsState;
        p[3] = s.StatusBits;
        PutSixFloats(p + 4, s);
        PutF32(p + 28, s.UpSynthFreq);
        PutF32(p + 32, s.DownSynthFreq);
        PutDemod(p + 36, s.Demod1);
        PutDemod(p + 78, s.Demod2);
    } else if (generation >= 6) {
        p[2] = s.GpsState;
        p[3] = s.StatusBits;
        PutSixFloats(p + 4, s);
        PutDemod(p + 28, s.Demod1);
        PutDemod(p + 70, s.Demod2);
    } else {
        // The oldest layout has no GPS byte: the status bits follow the IRIG bits directly.
        p[2] = s.StatusBits;
        PutSixFloats(p + 3, s);
        PutDemod(p + 27, s.Demod1);
        PutDemod(p + 69, s.Demod2);
    }
    return out;
}

Bytes DefaultSetup(int generation, int year)
{
    Bytes r(kSetupLength, 0);
    uint8_t* p = r.data();
    PutF32(p + 2, 77.4474f);
    if (IsV3(generation)) {
        PutI32(p + 6, 401850000);
        PutF32(p + 10, 160.1f);
        PutF32(p + 14, 800.0f);
        p[18] = 1;
        p[19] = 0; // pre-amplifier gain, dB
    } else {
        PutF32(p + 6, 450.0f);
        PutF32(p + 10, 800.0f);
        p[14] = 1;
        PutF32(p + 15, 900.0f);
        p[19] = 5;
    }
    PutI32(p + 20, 401850000);
    PutF32(p + 24, 47.0f);
    PutI32(p + 28, 401700000);
    PutF32(p + 32, 47.0f);
    p[36] = 8;
    year = ((year % 100) + 100) % 100;
    p[37] = uint8_t((year / 10) << 4 | (year % 10));
    PutF32(p + 38, 3.3f);
    return r;
}

Bytes DefaultAlarmSetup()
{
    // type, delay, on, off (tenths of a second), repeat; for RF, Pilot 1, Pilot 2, Power Supply, IRIG
    static const uint8_t rows[5][5] = {
        {0x81, 5, 0, 0, 0}, {0x81, 5, 3, 2, 0}, {0x81, 5, 5, 5, 0}, {1, 50, 10, 40, 12}, {1, 50, 10, 90, 6},
    };
    Bytes r(kAlarmSetupLength, 0);
    r[0] = 1;
    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 5; ++k)
            r[size_t(1 + 5 * i + k)] = rows[i][k];
    return r;
}

Bytes DefaultCalib()
{
    Bytes r(kCalibLength, 0);
    uint8_t* p = r.data();
    PutF32(p + 0, 77.45f);
    PutF32(p + 4, 450.0f);
    const char sn[] = "ZR-20417";
    std::memcpy(p + 10, sn, sizeof sn - 1);
    PutF32(p + 26, 0.85f);
    // A measured table: roughly -2 kHz per volt through 0 Hz at 2.25 V, not quite straight.
    static const int16_t table[17] = {4012, 3509,  3004,  2503,  2001,  1499,  998,   497,  0,
                                      -502, -1003, -1507, -2009, -2511, -3016, -3521, -4027};
    for (int i = 0; i < 17; ++i)
        PutI16(p + 30 + 2 * i, table[i]);
    return r;
}

Bytes DefaultVcoCal()
{
    Bytes r(kVcoCalLength, 0);
    PutF32(r.data(), 1.0f);
    PutF32(r.data() + 4, 0.0f);
    return r;
}

float VcoFreqAt(const Bytes& calib, float volts)
{
    if (calib.size() < kCalibLength)
        return 0;
    auto entry = [&](int i) { return float(GetI16(calib.data() + 30 + 2 * i)); };
    float x = (volts - 0.25f) / 0.25f; // table index, fractional
    int i = int(std::floor(x));
    if (i < 0)
        i = 0;
    if (i > 15)
        i = 15;
    float t = x - float(i);
    return entry(i) + (entry(i + 1) - entry(i)) * t;
}

} // namespace zsim
