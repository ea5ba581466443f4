#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "ZarnFrame.h"
#include "ZarnStatusRec.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutF32(Bytes& b, int at, float v)
{
    const uint32_t u = std::bit_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

// Where each field sits in one layout; -1 = not in this layout.
struct Layout {
    const char* name;
    int generation;
    int size;
    int gps, status, floats, upSynth, downSynth, demod1, demod2;
};

const Layout kLayouts[] = {
    {"120 bytes", 8, 120, 2, 3, 4, 28, 32, 36, 78},  {"120 bytes desktop", 11, 120, 2, 3, 4, 28, 32, 36, 78},
    {"112 bytes", 6, 112, 2, 3, 4, -1, -1, 28, 70},  {"112 bytes desktop", 7, 112, 2, 3, 4, -1, -1, 28, 70},
    {"111 bytes", 3, 111, -1, 2, 3, -1, -1, 27, 69}, {"111 bytes first", 1, 111, -1, 2, 3, -1, -1, 27, 69},
};

// Demod sub-record with values that tell each field apart.
void PutDemod(Bytes& b, int at, int n, const char* time)
{
    b[at + 0] = static_cast<uint8_t>(0x10 + n);
    b[at + 1] = static_cast<uint8_t>(0x20 + n);
    PutF32(b, at + 2, -40.25f - n);
    PutF32(b, at + 6, -70.5f - n);
    PutF32(b, at + 10, -80.75f - n);
    PutF32(b, at + 14, 1.125f + n);
    PutF32(b, at + 18, -12345.5f - n);
    std::memcpy(&b[at + 22], time, std::min<size_t>(std::strlen(time), 20));
}

void ExpectDemod(const TZarnDemodRec& d, int n, const char* time)
{
    EXPECT_EQ(d.State, 0x10 + n);
    EXPECT_EQ(d.Flags, 0x20 + n);
    EXPECT_FLOAT_EQ(d.PilotLevel, -40.25f - n);
    EXPECT_FLOAT_EQ(d.AmpNoise, -70.5f - n);
    EXPECT_FLOAT_EQ(d.ChanNoise, -80.75f - n);
    EXPECT_FLOAT_EQ(d.PhaseNoise, 1.125f + n);
    EXPECT_FLOAT_EQ(d.FreqError, -12345.5f - n);
    EXPECT_EQ(d.Time(), time);
}

TZarnFrame FrameOf(const Bytes& payload)
{
    TZarnFrame f;
    f.MsgType = 0;
    f.Length = static_cast<uint8_t>(payload.size());
    std::memcpy(f.Payload, payload.data(), payload.size());
    return f;
}

Bytes Payload(const Layout& l)
{
    Bytes b(l.size, 0);
    b[0] = 0x05;
    b[1] = 0x3B;
    if (l.gps >= 0)
        b[l.gps] = 0x87;
    b[l.status] = 0x41;
    const float floats[6] = {12.5f, -33.25f, 4.096f, 7.0f, 10000001.0f, 70.125f};
    for (int i = 0; i < 6; ++i)
        PutF32(b, l.floats + 4 * i, floats[i]);
    if (l.upSynth >= 0)
        PutF32(b, l.upSynth, 1234.5f);
    if (l.downSynth >= 0)
        PutF32(b, l.downSynth, 987.25f);
    PutDemod(b, l.demod1, 1, "24 075 12:34:56");
    PutDemod(b, l.demod2, 2, "24 075 12:34:57");
    return b;
}

} // namespace

TEST(StatusRecTest, EveryLayoutDecodesFieldByField)
{
    for (const auto& l : kLayouts) {
        SCOPED_TRACE(l.name);
        const TZarnStatusRec r = DecodeStatus(FrameOf(Payload(l)), l.generation);
        EXPECT_EQ(r.MainState, 0x05);
        EXPECT_EQ(r.SynthIrigBits, 0x3B);
        EXPECT_EQ(r.GpsState, l.gps >= 0 ? 0x87 : 0);
        EXPECT_EQ(r.StatusBits, 0x41);
        EXPECT_FLOAT_EQ(r.WideBandGain, 12.5f);
        EXPECT_FLOAT_EQ(r.WideBandLevel, -33.25f);
        EXPECT_FLOAT_EQ(r.VcoVolts, 4.096f);
        EXPECT_FLOAT_EQ(r.Reserved, 7.0f);
        EXPECT_FLOAT_EQ(r.VcoFreq, 10000001.0f);
        EXPECT_FLOAT_EQ(r.IfFreq, 70.125f);
        EXPECT_FLOAT_EQ(r.UpSynthFreq, l.upSynth >= 0 ? 1234.5f : 0.0f);
        EXPECT_FLOAT_EQ(r.DownSynthFreq, l.downSynth >= 0 ? 987.25f : 0.0f);
        ExpectDemod(r.Demod1, 1, "24 075 12:34:56");
        ExpectDemod(r.Demod2, 2, "24 075 12:34:57");
    }
}

TEST(StatusRecTest, BytesTakenDependOnTheGenerationOnly)
{
    // A 120-byte payload read as generation 6 uses the 112-byte layout.
    const Bytes v3 = Payload(kLayouts[0]);
    const TZarnStatusRec asOld = DecodeStatus(FrameOf(v3), 6);
    EXPECT_EQ(asOld.UpSynthFreq, 0.0f);
    EXPECT_EQ(asOld.Demod1.State, v3[28]);
    // A 112-byte payload read as a V3 generation leaves the tail of Demod2 zero.
    const Bytes old = Payload(kLayouts[2]);
    const TZarnStatusRec asNew = DecodeStatus(FrameOf(old), 8);
    EXPECT_EQ(asNew.Demod1.State, old[36]);
    EXPECT_EQ(static_cast<uint8_t>(asNew.Demod2.TimeText[11]), old[111]);
    EXPECT_EQ(asNew.Demod2.TimeText[12], 0); // byte 112 on: beyond Length
}

TEST(StatusRecTest, ShortV3PayloadReadsZeroFromItsEnd)
{
    Bytes full = Payload(kLayouts[0]);
    TZarnFrame f = FrameOf(Bytes(full.begin(), full.begin() + 60));
    std::memset(f.Payload + 60, 0xCC, sizeof f.Payload - 60); // stale bytes beyond Length
    const TZarnStatusRec r = DecodeStatus(f, 8);

    Bytes expected(120, 0);
    std::copy(full.begin(), full.begin() + 60, expected.begin());
    uint8_t got[120];
    r.ToBytes(got);
    EXPECT_EQ(Bytes(got, got + 120), expected);
    EXPECT_FLOAT_EQ(r.Demod1.FreqError, -12346.5f); // bytes 54..57 arrived
    EXPECT_EQ(r.Demod1.Time(), "24");               // bytes 58..59 arrived
    EXPECT_EQ(r.Demod2.State, 0);
    EXPECT_EQ(r.Demod2.PilotLevel, 0.0f);
    EXPECT_EQ(r.Demod2.Time(), "");
}

TEST(StatusRecTest, FloatsAreReadLittleEndianAtOddOffsets)
{
    const uint8_t bytes[] = {0xAA, 0x00, 0x00, 0xC0, 0x3F, 0xBB}; // 1.5f at offset 1
    EXPECT_EQ(ReadF32LE(bytes + 1), 1.5f);
    uint8_t out[4];
    WriteF32LE(out, -2.0f);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x00, 0x00, 0x00, 0xC0}));
}

TEST(StatusRecTest, RecordTimeRules)
{
    struct Case {
        const char* name;
        Bytes demod1Time, demod2Time;
        const char* text;
        bool valid;
        const char* key;
    };
    auto T = [](const char* s) { return Bytes(s, s + std::strlen(s)); };
    const Case cases[] = {
        {"demod 1 time", T("24 075 12:34:56"), T("24 075 12:34:59"), "24 075 12:34:56", true, "56"},
        {"demod 2 when 1 empty", {}, T("24 075 12:34:57"), "24 075 12:34:57", true, "57"},
        {"none sent", {}, {}, "No Time Sent", false, ""},
        {"day 000", T("00 000 01:02:03"), {}, "No Time Sent", true, "03"},
        {"too short for a key", T("24 075 12:3"), {}, "24 075 12:3", true, ""},
        {"20 bytes without NUL", T("24 075 12:34:56.789Z"), {}, "24 075 12:34:56.789", true, "56"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TZarnStatusRec r;
        std::copy(c.demod1Time.begin(), c.demod1Time.end(), r.Demod1.TimeText);
        std::copy(c.demod2Time.begin(), c.demod2Time.end(), r.Demod2.TimeText);
        const TZarnRecordTime t = RecordTime(r);
        EXPECT_EQ(t.Text, c.text);
        EXPECT_EQ(t.Valid, c.valid);
        EXPECT_EQ(t.IntervalKey, c.key);
    }
}

TEST(StatusRecTest, TwentyByteTimeTextInAFrameGivesNineteenCharacters)
{
    Bytes p = Payload(kLayouts[0]);
    std::memcpy(&p[36 + 22], "ABCDEFGHIJKLMNOPQRST", 20);
    const TZarnStatusRec r = DecodeStatus(FrameOf(p), 9);
    EXPECT_EQ(r.Demod1.Time(), "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(RecordTime(r).Text, "ABCDEFGHIJKLMNOPQRS");
}
