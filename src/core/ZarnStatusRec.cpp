#include "ZarnStatusRec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "ZarnFrame.h"

namespace {

// Copies what is there of a layout into a zeroed buffer, so short input reads as zero.
template <size_t N> void Take(std::span<const uint8_t> bytes, uint8_t (&buf)[N])
{
    std::memset(buf, 0, N);
    std::memcpy(buf, bytes.data(), std::min(bytes.size(), N));
}

// The six floats every layout carries, starting at `at`.
void ReadCommonFloats(TZarnStatusRec& r, const uint8_t* at)
{
    r.WideBandGain = ReadF32LE(at + 0);
    r.WideBandLevel = ReadF32LE(at + 4);
    r.VcoVolts = ReadF32LE(at + 8);
    r.Reserved = ReadF32LE(at + 12);
    r.VcoFreq = ReadF32LE(at + 16);
    r.IfFreq = ReadF32LE(at + 20);
}

} // namespace

float ReadF32LE(const uint8_t* p)
{
    const uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return std::bit_cast<float>(u);
}

void WriteF32LE(uint8_t* p, float v)
{
    const uint32_t u = std::bit_cast<uint32_t>(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}

TZarnDemodRec TZarnDemodRec::FromBytes(const uint8_t* p)
{
    TZarnDemodRec d;
    d.State = p[0];
    d.Flags = p[1];
    d.PilotLevel = ReadF32LE(p + 2);
    d.AmpNoise = ReadF32LE(p + 6);
    d.ChanNoise = ReadF32LE(p + 10);
    d.PhaseNoise = ReadF32LE(p + 14);
    d.FreqError = ReadF32LE(p + 18);
    std::memcpy(d.TimeText, p + 22, sizeof d.TimeText);
    return d;
}

void TZarnDemodRec::ToBytes(uint8_t* p) const
{
    p[0] = State;
    p[1] = Flags;
    WriteF32LE(p + 2, PilotLevel);
    WriteF32LE(p + 6, AmpNoise);
    WriteF32LE(p + 10, ChanNoise);
    WriteF32LE(p + 14, PhaseNoise);
    WriteF32LE(p + 18, FreqError);
    std::memcpy(p + 22, TimeText, sizeof TimeText);
}

QString TZarnDemodRec::Time() const
{
    // A twentieth character is never taken, NUL or not.
    const char* end = static_cast<const char*>(std::memchr(TimeText, 0, 19));
    return QString::fromLatin1(TimeText, end ? end - TimeText : 19);
}

TZarnStatusRec TZarnStatusRec::FromBytes(std::span<const uint8_t> bytes)
{
    uint8_t b[WireSize];
    Take(bytes, b);
    TZarnStatusRec r;
    r.MainState = b[0];
    r.SynthIrigBits = b[1];
    r.GpsState = b[2];
    r.StatusBits = b[3];
    ReadCommonFloats(r, b + 4);
    r.UpSynthFreq = ReadF32LE(b + 28);
    r.DownSynthFreq = ReadF32LE(b + 32);
    r.Demod1 = TZarnDemodRec::FromBytes(b + 36);
    r.Demod2 = TZarnDemodRec::FromBytes(b + 78);
    return r;
}

void TZarnStatusRec::ToBytes(uint8_t* out) const
{
    out[0] = MainState;
    out[1] = SynthIrigBits;
    out[2] = GpsState;
    out[3] = StatusBits;
    WriteF32LE(out + 4, WideBandGain);
    WriteF32LE(out + 8, WideBandLevel);
    WriteF32LE(out + 12, VcoVolts);
    WriteF32LE(out + 16, Reserved);
    WriteF32LE(out + 20, VcoFreq);
    WriteF32LE(out + 24, IfFreq);
    WriteF32LE(out + 28, UpSynthFreq);
    WriteF32LE(out + 32, DownSynthFreq);
    Demod1.ToBytes(out + 36);
    Demod2.ToBytes(out + 78);
}

TZarnStatusRec ConvertFrom112(std::span<const uint8_t> bytes)
{
    uint8_t b[112];
    Take(bytes, b);
    TZarnStatusRec r;
    r.MainState = b[0];
    r.SynthIrigBits = b[1];
    r.GpsState = b[2];
    r.StatusBits = b[3];
    ReadCommonFloats(r, b + 4);
    r.Demod1 = TZarnDemodRec::FromBytes(b + 28);
    r.Demod2 = TZarnDemodRec::FromBytes(b + 70);
    return r;
}

TZarnStatusRec ConvertFrom111(std::span<const uint8_t> bytes)
{
    uint8_t b[111];
    Take(bytes, b);
    TZarnStatusRec r;
    r.MainState = b[0];
    r.SynthIrigBits = b[1];
    r.StatusBits = b[2];
    ReadCommonFloats(r, b + 3);
    r.Demod1 = TZarnDemodRec::FromBytes(b + 27);
    r.Demod2 = TZarnDemodRec::FromBytes(b + 69);
    return r;
}

int StatusPayloadSize(int generation)
{
    if (generation >= 8 && generation <= 11)
        return 120;
    if (generation == 6 || generation == 7)
        return 112;
    return 111;
}

TZarnStatusRec DecodeStatus(const TZarnFrame& frame, int generation)
{
    // Only the bytes the frame carried count; the rest of the layout reads as zero
    // even if the record's payload area holds something beyond Length.
    const size_t carried = std::min<size_t>(frame.Length, ZarnMaxPayload);
    const size_t size = std::min<size_t>(carried, size_t(StatusPayloadSize(generation)));
    const std::span<const uint8_t> bytes(frame.Payload, size);
    switch (StatusPayloadSize(generation)) {
    case 120:
        return TZarnStatusRec::FromBytes(bytes);
    case 112:
        return ConvertFrom112(bytes);
    default:
        return ConvertFrom111(bytes);
    }
}

TZarnRecordTime RecordTime(const TZarnStatusRec& rec)
{
    TZarnRecordTime t;
    QString text = rec.Demod1.Time();
    if (text.isEmpty())
        text = rec.Demod2.Time();
    if (text.isEmpty()) {
        t.Text = "No Time Sent";
        return t;
    }
    t.Valid = true;
    if (text.size() >= 15)
        t.IntervalKey = text.mid(13, 2);
    t.Text = text.mid(3, 3) == "000" ? QString("No Time Sent") : text;
    return t;
}
