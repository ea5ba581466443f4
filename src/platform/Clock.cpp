#include "Clock.h"

#include <atomic>

namespace plat {
namespace {
std::atomic<int64_t> g_utcOffsetMs{0};
std::atomic<uint32_t> g_tickOffset{0};
std::atomic<int64_t> g_steadyOffsetNs{0};
const std::chrono::steady_clock::time_point g_start = std::chrono::steady_clock::now();
// 1899-12-30 is 25569 days before the Unix epoch.
constexpr double kUnixEpochDays = 25569.0;
} // namespace

std::chrono::steady_clock::time_point Clock::SteadyNow()
{
    return std::chrono::steady_clock::now() +
           std::chrono::nanoseconds(g_steadyOffsetNs.load(std::memory_order_relaxed));
}

int64_t Clock::PerfCounter()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyNow().time_since_epoch()).count();
}

uint32_t Clock::TickCount()
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyNow() - g_start).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms)) + g_tickOffset.load(std::memory_order_relaxed);
}

std::chrono::system_clock::time_point Clock::UtcNow()
{
    return std::chrono::system_clock::now() +
           std::chrono::milliseconds(g_utcOffsetMs.load(std::memory_order_relaxed));
}

double Clock::UtcNowDays()
{
    return ToDays(UtcNow());
}

void Clock::SetUtcOffset(std::chrono::milliseconds offset)
{
    g_utcOffsetMs = offset.count();
}
void Clock::SetTickOffset(uint32_t offset)
{
    g_tickOffset = offset;
}
void Clock::SetSteadyOffset(std::chrono::nanoseconds offset)
{
    g_steadyOffsetNs = offset.count();
}
void Clock::ResetOffsets()
{
    g_utcOffsetMs = 0;
    g_tickOffset = 0;
    g_steadyOffsetNs = 0;
}

double ToDays(std::chrono::system_clock::time_point t)
{
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
    return kUnixEpochDays + static_cast<double>(us) / 86400e6;
}

} // namespace plat
