#pragma once
// The application's exception handler: reports an exception that reached the
// user-interface thread unhandled. Tests capture the reports through a hook.
#include <QString>
#include <exception>
#include <functional>

namespace plat {

// Reports (class name, message): a message box unless a hook is set.
void ReportException(const QString& className, const QString& message);
// Convenience for a caught std::exception whose class name is unknown.
void ReportException(const std::exception& e);
void SetExceptionHook(std::function<void(const QString&, const QString&)> hook);

} // namespace plat
