#include "SimHex.h"

#include <algorithm>

namespace zsim {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

bool ParseHexRecord(const std::string& text, HexRecord& out)
{
    if (text.size() < 11 || text[0] != ':' || (text.size() - 1) % 2 != 0)
        return false;
    Bytes raw;
    for (size_t i = 1; i + 1 < text.size(); i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        raw.push_back(uint8_t(hi << 4 | lo));
    }
    if (raw.size() != size_t(raw[0]) + 5)
        return false;
    uint8_t sum = 0;
    for (uint8_t b : raw)
        sum = uint8_t(sum + b);
    if (sum != 0)
        return false;
    out.Count = raw[0];
    out.Address = uint16_t(raw[1] << 8 | raw[2]);
    out.Type = raw[3];
    out.Data.assign(raw.begin() + 4, raw.end() - 1);
    return true;
}

SimFlash::Outcome SimFlash::Apply(const HexRecord& r)
{
    switch (r.Type) {
    case 0x00: {
        uint32_t at = m_base + r.Address;
        if (at + r.Data.size() > kFlashSize)
            return Outcome::Error;
        std::copy(r.Data.begin(), r.Data.end(), m_bytes.begin() + at);
        return Outcome::Ack;
    }
    case 0x01:
        return Outcome::Ack;
    case 0x02:
        if (r.Data.size() != 2)
            return Outcome::Error;
        m_base = uint32_t(r.Data[0] << 8 | r.Data[1]) << 4;
        return Outcome::Ack;
    case 0x04:
        if (r.Data.size() != 2)
            return Outcome::Error;
        m_base = uint32_t(r.Data[0] << 8 | r.Data[1]) << 16;
        return Outcome::Ack;
    case 0x03:
        // Type 03 doubles as the bootloader's command record; a real start-address record
        // (four data bytes) is only acknowledged.
        if (r.Data.size() == 1 && r.Data[0] == 0x07) {
            std::fill(m_bytes.begin(), m_bytes.end(), 0xFF);
            m_base = 0;
            return Outcome::Start;
        }
        if (r.Data.size() == 2 && r.Data[0] == 0x03 && r.Data[1] == 0x00)
            return Outcome::Restart;
        return r.Data.size() == 4 ? Outcome::Ack : Outcome::Error;
    case 0x05:
        return Outcome::Ack;
    default:
        return Outcome::Error;
    }
}

} // namespace zsim
