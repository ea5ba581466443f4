#pragma once
// Intel HEX records as the bootloaders receive them, and the flash they program.
#include <cstdint>
#include <string>
#include <vector>

#include "SimWire.h"

namespace zsim {

constexpr size_t kFlashSize = 0x10000;

// The two bootloader commands, sent as record type 03.
constexpr const char* kStartRecord = ":0100000307F5";
constexpr const char* kRestartRecord = ":020000030300F8";

struct HexRecord {
    uint8_t Count = 0;
    uint16_t Address = 0;
    uint8_t Type = 0;
    Bytes Data;
};

// Parses one record (":" count address type data checksum, no line end). False when the text
// is not a record, its length does not match its count, or the checksum does not add up.
bool ParseHexRecord(const std::string& text, HexRecord& out);

// Number of characters a record has once its count is known (":" + 10 + 2 x count).
inline size_t HexRecordLength(uint8_t count)
{
    return 11 + 2 * size_t(count);
}

// One processor's flash behind its bootloader.
class SimFlash {
public:
    SimFlash() : m_bytes(kFlashSize, 0xFF) {}
    enum class Outcome { Ack, Error, Start, Restart };
    // Applies a checked record; data records are written at the current extended base.
    Outcome Apply(const HexRecord& r);
    const Bytes& Image() const { return m_bytes; }

private:
    Bytes m_bytes;
    uint32_t m_base = 0;
};

} // namespace zsim
