#pragma once
// The program's one source of time. Everything that measures intervals or reads
// the wall clock goes through here, so tests can set the clock back or wrap the
// 32-bit tick count by an offset instead of waiting.
#include <chrono>
#include <cstdint>

namespace plat {

class Clock {
public:
    // Monotonic time (the performance counter), shifted by the steady offset.
    static std::chrono::steady_clock::time_point SteadyNow();
    // Performance counter in ticks of PerfFrequency() per second.
    static int64_t PerfCounter();
    static constexpr int64_t PerfFrequency() { return 1000000000; }
    // Milliseconds since process start plus the tick offset, wrapping at 2^32.
    static uint32_t TickCount();
    // Wall clock, UTC, shifted by the UTC offset.
    static std::chrono::system_clock::time_point UtcNow();
    // UTC now as days since 30 December 1899 (fraction = time of day).
    static double UtcNowDays();

    // Test hooks. Offsets add to what the clock reads; all are atomic.
    static void SetUtcOffset(std::chrono::milliseconds offset);
    static void SetTickOffset(uint32_t offset);
    static void SetSteadyOffset(std::chrono::nanoseconds offset);
    static void ResetOffsets();
};

// Days since 30 December 1899 for a system-clock time point.
double ToDays(std::chrono::system_clock::time_point t);

} // namespace plat
