#include "ExceptionHandler.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <mutex>

namespace plat {
namespace {
std::mutex g_lock;
std::function<void(const QString&, const QString&)> g_hook;
} // namespace

void ReportException(const QString& className, const QString& message)
{
    std::function<void(const QString&, const QString&)> hook;
    {
        std::lock_guard lock(g_lock);
        hook = g_hook;
    }
    if (hook) {
        hook(className, message);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", qPrintable(className), qPrintable(message));
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(), message);
}

void ReportException(const std::exception& e)
{
    ReportException(QStringLiteral("Exception"), QString::fromUtf8(e.what()));
}

void SetExceptionHook(std::function<void(const QString&, const QString&)> hook)
{
    std::lock_guard lock(g_lock);
    g_hook = std::move(hook);
}

} // namespace plat
