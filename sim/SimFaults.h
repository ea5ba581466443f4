#pragma once
// Faults the simulator can inject. Each carries an integer; 0 means off.
#include <array>
#include <cstddef>

namespace zsim {

enum class SimFault {
    Garbage,       // N: up to N random bytes (never the start byte 0x02) before every frame
    Split,         // N: frames go out in pieces of at most N bytes, about 1 ms apart
    BadMarker,     // N: every N-th frame has a wrong marker byte
    BadLength,     // N: every N-th frame has a length byte above 128
    BadEnd,        // N: every N-th frame has a wrong end byte
    Silent,        // 1: nothing at all is sent on a connection (commands are still taken)
    DropAfter,     // N: the connection is closed after the N-th frame sent on it
    BootDelay,     // N: every bootloader reply goes out N milliseconds late
    BootMute,      // 1: the bootloaders answer nothing (no sync, no record replies)
    BootDropAt,    // N: the reply to record N after the start record is never sent
    BootErrorAt,   // N: record N after the start record gets an error reply and is not written
    BootNoRestart, // 1: the restart record is not answered and the bootloader keeps running
    Refuse,        // 1: connections are refused (the listening socket is closed)
};
constexpr int kFaultCount = int(SimFault::Refuse) + 1;

struct SimFaults {
    std::array<int, kFaultCount> Value{};
    int operator[](SimFault f) const { return Value[size_t(f)]; }
    int& operator[](SimFault f) { return Value[size_t(f)]; }
};

// Option name of a fault as the program spells it ("garbage", "boot-error-at", ...).
const char* FaultName(SimFault f);

} // namespace zsim
