#pragma once
// Timer pool: any number of millisecond timer entries multiplexed onto one window
// timer. The pool picks the largest period, not above the nearest due time, that
// divides every entry's interval, but never ticks faster than every 55 ms (the
// coarse system tick); an entry fires up to 27 ms early for the same reason.
// Everything runs on the thread that created the pool; it takes no locks.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "MessageWindow.h"

class TTimerPool;

// Sender is always the pool.
using TTriggerEvent =
    std::function<void(TTimerPool* Sender, int32_t Handle, uint32_t Interval, int32_t ElapsedTime)>;

// The system would not give the pool its window timer.
class ENoTimersAvailable : public std::runtime_error {
public:
    ENoTimersAvailable() : std::runtime_error("No timers available") {}
};

struct TTimerEntry {
    enum : uint32_t { Idle = 0, Firing = 1, RemovalPending = 2 };

    int32_t Handle = 0;
    int32_t ElapsedTime = 0; // ms over all firings, saturating at 2147483647
    uint32_t Interval = 0;
    uint32_t LastTick = 0; // tick count at the last firing
    TTriggerEvent OnTrigger;
    bool Enabled = true;
    bool Recurring = true;
    uint32_t State = Idle;
};

class TTimerPool {
public:
    static constexpr uint32_t MinPeriod = 55;
    static constexpr uint32_t EarlyTolerance = 27;
    static constexpr uintptr_t TimerId = 1;

    TTimerPool();
    virtual ~TTimerPool();
    TTimerPool(const TTimerPool&) = delete;
    TTimerPool& operator=(const TTimerPool&) = delete;

    // Fires every entry that is due; runs on each window-timer message.
    virtual void Tick();

    // Adds an entry whose first firing is due Interval ms from now and returns its
    // handle (unique in the pool, never 0). Counts, period and window timer are then
    // brought up to date as Remove does.
    int32_t Add(uint32_t Interval, TTriggerEvent OnTrigger, bool Recurring = true, bool Enabled = true);
    // Deletes the entry, or marks it removal pending while its handlers run.
    void Remove(int32_t Handle);
    // Deletes every entry, last first (an entry that is firing goes when its firing ends).
    void Clear();

    int IndexOf(int32_t Handle) const;
    int32_t CountEnabled() const;
    void RecomputePeriod();
    // Stops the window timer and starts it again with Period when an entry is enabled;
    // raises ENoTimersAvailable when the system refuses.
    void RestartTimer();

    int Count() const { return static_cast<int>(m_entries.size()); }
    const TTimerEntry& Entries(int Index) const { return *m_entries.at(static_cast<size_t>(Index)); }
    uint32_t Period() const { return m_period; }
    int32_t EnabledCount() const { return m_enabledCount; }
    // The window timer is running.
    bool TimerActive() const { return m_window->HasTimer(TimerId); }

    QString About() const { return QStringLiteral("v4.06"); }
    void SetAbout(const QString&) {}

    // Fired for every entry that fires, after the entry's own handler.
    TTriggerEvent OnAllTriggers;

protected:
    // The tick count the pool works with; tests hold it still.
    virtual uint32_t CurrentTick() const;

private:
    void HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void DeleteAt(int index);
    void RefreshAfterChange();
    int PositionOf(const TTimerEntry* entry) const;

    std::vector<std::unique_ptr<TTimerEntry>> m_entries;
    std::unique_ptr<plat::MessageWindow> m_window;
    uint32_t m_period = 0;
    int32_t m_enabledCount = 0;
    int32_t m_nextHandle = 1;
};

// The program-wide pool: created on first use on the user-interface thread, cleared
// and freed when the application object goes (or by FreeGlobalTimerPool).
TTimerPool* GlobalTimerPool();
void FreeGlobalTimerPool();
