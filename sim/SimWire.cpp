#include "SimWire.h"

#include <cstdio>

namespace zsim {

Bytes BuildFrame(uint8_t type, const Bytes& payload)
{
    size_t n = payload.size() > kMaxPayload ? kMaxPayload : payload.size();
    Bytes out;
    out.reserve(n + 7);
    out.push_back(kStart);
    out.push_back(0);
    out.push_back(kMarker);
    out.push_back(type);
    out.push_back(uint8_t(n));
    out.insert(out.end(), payload.begin(), payload.begin() + long(n));
    out.push_back(0); // check byte: never computed by either side
    out.push_back(kEnd);
    return out;
}

void SimFrameParser::Reset()
{
    m_state = 0;
    m_need = 0;
}

bool SimFrameParser::Push(uint8_t b)
{
    switch (m_state) {
    case 0:
        if (b == kStart) {
            m_frame = SimRxFrame{};
            m_state = 1;
        }
        return false;
    case 1:
        m_frame.Spare = b;
        m_state = 2;
        return false;
    case 2:
        if (b != kMarker) {
            ++m_discarded;
            m_state = 0;
        } else {
            m_state = 3;
        }
        return false;
    case 3:
        m_frame.Type = b;
        m_state = 4;
        return false;
    case 4:
        if (b > kMaxPayload) {
            ++m_discarded;
            m_state = 0;
            return false;
        }
        m_need = b;
        m_frame.Payload.reserve(b);
        m_state = b ? 5 : 6;
        return false;
    case 5:
        m_frame.Payload.push_back(b);
        if (m_frame.Payload.size() == m_need)
            m_state = 6;
        return false;
    case 6:
        m_frame.Check = b;
        m_state = 7;
        return false;
    default:
        m_state = 0;
        if (b != kEnd) {
            ++m_discarded;
            return false;
        }
        return true;
    }
}

std::string HexBytes(const uint8_t* p, size_t n, size_t limit)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n && i < limit; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", p[i]);
        if (i)
            s += ' ';
        s += buf;
    }
    if (n > limit)
        s += " ...";
    return s;
}

} // namespace zsim
