#pragma once
// The runtime's diagnostic lines. Until a listener channel exists the lines go
// nowhere; a hook lets tests read them.
#include <QString>
#include <functional>

void Log(const QString& Msg);
void LogFmt(const char* Format, ...) __attribute__((format(printf, 1, 2)));

// Receives every line while set; nullptr removes it. For tests.
void SetLogHook(std::function<void(const QString&)> hook);
