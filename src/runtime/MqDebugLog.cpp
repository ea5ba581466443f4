#include "MqDebugLog.h"

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <shared_mutex>

namespace {
// Held while the hook runs, so that removing the hook waits for lines in flight.
std::shared_mutex g_hookLock;
std::function<void(const QString&)> g_hook;
// Checked before any formatting, so a line costs one atomic read while nobody listens.
std::atomic<bool> g_hooked{false};
} // namespace

void Log(const QString& Msg)
{
    if (!g_hooked.load(std::memory_order_acquire))
        return;
    std::shared_lock lock(g_hookLock);
    if (g_hook)
        g_hook(Msg);
}

void LogFmt(const char* Format, ...)
{
    if (!g_hooked.load(std::memory_order_acquire))
        return;
    va_list args;
    va_start(args, Format);
    const QString line = QString::vasprintf(Format, args);
    va_end(args);
    Log(line);
}

void SetLogHook(std::function<void(const QString&)> hook)
{
    std::unique_lock lock(g_hookLock);
    g_hooked = static_cast<bool>(hook);
    g_hook = std::move(hook);
}
