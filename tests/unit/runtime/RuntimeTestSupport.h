#pragma once
// Helpers for the runtime's tests: capture of the diagnostic log.
#include <QString>
#include <QStringList>
#include <mutex>

#include "MqDebugLog.h"

namespace zt {

// Collects the runtime's log lines while alive.
class LogCapture {
public:
    LogCapture()
    {
        SetLogHook([this](const QString& line) {
            std::lock_guard lock(m_lock);
            m_lines.push_back(line);
        });
    }
    ~LogCapture() { SetLogHook(nullptr); }
    QStringList Lines() const
    {
        std::lock_guard lock(m_lock);
        return m_lines;
    }
    int Count(const QString& line) const { return Lines().count(line); }
    bool Has(const QString& line) const { return Count(line) > 0; }
    int IndexOf(const QString& line) const { return Lines().indexOf(line); }

private:
    mutable std::mutex m_lock;
    QStringList m_lines;
};

} // namespace zt
