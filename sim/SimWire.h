#pragma once
// The device's side of the wire: frame building, the byte parser for what the monitor
// sends, and little-endian helpers for the packed records.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zsim {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStart = 0x02;
constexpr uint8_t kMarker = 0x0D;
constexpr uint8_t kEnd = 0x03;
constexpr size_t kMaxPayload = 128;

// A frame as it came off the wire from the monitor.
struct SimRxFrame {
    uint8_t Spare = 0;
    uint8_t Type = 0;
    uint8_t Check = 0;
    Bytes Payload;
};

// Wire bytes of one frame: 02 00 0D type len payload 00 03. Payloads above 128 bytes are cut.
Bytes BuildFrame(uint8_t type, const Bytes& payload);

// Byte-at-a-time frame parser. Bad marker, length above 128 or bad end byte drop the frame
// under assembly; the byte that breaks a frame is consumed, as the monitor's own parser does.
class SimFrameParser {
public:
    // Returns true when b completed a frame; it is then in Frame().
    bool Push(uint8_t b);
    const SimRxFrame& Frame() const { return m_frame; }
    void Reset();
    // Frames discarded for a bad marker, length or end byte since construction.
    int Discarded() const { return m_discarded; }

private:
    int m_state = 0;
    size_t m_need = 0;
    SimRxFrame m_frame;
    int m_discarded = 0;
};

inline void PutF32(uint8_t* p, float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(u >> (8 * i));
}
inline float GetF32(const uint8_t* p)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(p[i]) << (8 * i);
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}
inline void PutI32(uint8_t* p, int32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(uint32_t(v) >> (8 * i));
}
inline int32_t GetI32(const uint8_t* p)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(p[i]) << (8 * i);
    return int32_t(u);
}
inline void PutI16(uint8_t* p, int16_t v)
{
    p[0] = uint8_t(uint16_t(v));
    p[1] = uint8_t(uint16_t(v) >> 8);
}
inline int16_t GetI16(const uint8_t* p)
{
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

// Readable hex dump ("02 00 0D ...") for the log.
std::string HexBytes(const uint8_t* p, size_t n, size_t limit = 48);

} // namespace zsim
