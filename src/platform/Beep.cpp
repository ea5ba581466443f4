#include "Beep.h"

#include <QApplication>
#include <mutex>

namespace plat {
namespace {
std::mutex g_lock;
std::function<void(BeepKind)> g_hook;
} // namespace

void Beep(BeepKind kind)
{
    std::function<void(BeepKind)> hook;
    {
        std::lock_guard lock(g_lock);
        hook = g_hook;
    }
    if (hook) {
        hook(kind);
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
}

void SetBeepHook(std::function<void(BeepKind)> hook)
{
    std::lock_guard lock(g_lock);
    g_hook = std::move(hook);
}

} // namespace plat
