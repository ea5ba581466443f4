#pragma once
// Helpers for the runtime's tests: capture of the diagnostic log.
#include <QString>
#include <QStringList>
#include <mutex>
#include <vector>

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
    // A copy that shares nothing with the list the writers append to.
    QStringList Lines() const
    {
        std::lock_guard lock(m_lock);
        QStringList copy;
        for (const QString& line : m_lines)
            copy << line;
        return copy;
    }
    int Count(const QString& line) const { return Lines().count(line); }
    bool Has(const QString& line) const { return Count(line) > 0; }
    int IndexOf(const QString& line) const { return Lines().indexOf(line); }

private:
    mutable std::mutex m_lock;
    std::vector<QString> m_lines;
};

} // namespace zt
