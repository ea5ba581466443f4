#include "MqRuntime.h"

#include <QCoreApplication>
#include <atomic>
#include <mutex>

#include "MqDebugLog.h"
#include "MqNotifiers.h"
#include "MqThreads.h"
#include "MqUtils.h"

namespace {
std::recursive_mutex g_lock;
std::atomic<bool> g_running{false};
std::atomic<bool> g_final{false};
bool g_postRoutineAdded = false;

// The application object is going: stop for good.
void StopAtApplicationExit()
{
    g_final = true;
    MqRuntimeStop();
}
} // namespace

void MqRuntimeStart()
{
    std::lock_guard lock(g_lock);
    if (g_running.load())
        return;
    MqUtilsInitialize();
    MqThreadsInitialize();
    MqNotifiersInitialize();
    if (!g_postRoutineAdded && QCoreApplication::instance()) {
        qAddPostRoutine(&StopAtApplicationExit);
        g_postRoutineAdded = true;
    }
    g_running = true;
}

void MqRuntimeStop()
{
    std::lock_guard lock(g_lock);
    if (!g_running.load())
        return;
    g_running = false;
    Log("finalization: MqThreads");
    MqNotifiersFinalize();
    MqThreadsFinalize();
    LogFmt("Remaining HostThread Count is %d", HostThreadCount.load());
    LogFmt("Exiting with message backlog of %d", MessageBacklog.load());
    LogFmt("Exiting with NotificationItemQueueCount of %d", NotificationItemQueueCount.load());
    MqThreadsReleaseSignalHandler();
    MqUtilsFinalize();
}

bool MqRuntimeRunning()
{
    return g_running.load();
}

void MqRuntimeEnsureStarted()
{
    if (g_running.load() || g_final.load())
        return;
    MqRuntimeStart();
}
