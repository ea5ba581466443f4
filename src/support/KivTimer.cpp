#include "KivTimer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <climits>

#include "Clock.h"

namespace {
TTimerPool* g_globalPool = nullptr;
}

TTimerPool::TTimerPool()
    : m_window(std::make_unique<plat::MessageWindow>(
          [this](uint32_t msg, uintptr_t wParam, intptr_t lParam) { HandleMessage(msg, wParam, lParam); }))
{
}

TTimerPool::~TTimerPool()
{
    m_period = 0;
    RestartTimer(); // with no period this only stops the window timer
    m_entries.clear();
    m_window.reset();
}

uint32_t TTimerPool::CurrentTick() const
{
    return plat::Clock::TickCount();
}

void TTimerPool::HandleMessage(uint32_t msg, uintptr_t, intptr_t)
{
    if (msg != plat::WM_TIMER)
        return;
    // A failing handler must not reach the application: the rest of the list simply
    // waits for the next tick.
    try {
        Tick();
    } catch (...) {
    }
}

void TTimerPool::Tick()
{
    const uint32_t now = CurrentTick();
    // The length is re-read on every step: handlers may add or remove entries.
    for (int i = 0; i < Count(); ++i) {
        TTimerEntry* entry = m_entries[static_cast<size_t>(i)].get();
        if (!entry->Enabled)
            continue;
        if (entry->State != TTimerEntry::Idle)
            continue; // an outer tick still running its handlers owns it

        entry->State = TTimerEntry::Firing;
        // Across the signed boundary the count is one short; kept as the pool always counted.
        const uint32_t elapsed = static_cast<int32_t>(entry->LastTick) > static_cast<int32_t>(now)
                                     ? now - entry->LastTick - 1
                                     : now - entry->LastTick;

        // Ends the firing. Handlers may have removed or added other entries, so the
        // entry is found again rather than trusted to be still at i.
        auto finish = [&] {
            const int pos =
                i < Count() && m_entries[static_cast<size_t>(i)].get() == entry ? i : PositionOf(entry);
            if (entry->State == TTimerEntry::RemovalPending) {
                entry->State = TTimerEntry::Idle;
                DeleteAt(pos);
                i = pos - 1; // visit the entry that moved into this slot
                RefreshAfterChange();
            } else {
                entry->State = TTimerEntry::Idle;
                i = pos;
            }
        };

        try {
            if (static_cast<int64_t>(elapsed) >=
                static_cast<int64_t>(entry->Interval) - static_cast<int64_t>(EarlyTolerance)) {
                entry->LastTick = now;
                const int64_t sum = static_cast<int64_t>(entry->ElapsedTime) + elapsed;
                entry->ElapsedTime = sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
                if (!entry->Recurring)
                    Remove(entry->Handle); // only marks it: the entry is firing
                // Copies: a handler may replace either event while it runs.
                if (TTriggerEvent own = entry->OnTrigger)
                    own(this, entry->Handle, entry->Interval, entry->ElapsedTime);
                if (TTriggerEvent all = OnAllTriggers)
                    all(this, entry->Handle, entry->Interval, entry->ElapsedTime);
            }
        } catch (...) {
            finish();
            throw;
        }
        finish();
    }
}

int32_t TTimerPool::Add(uint32_t Interval, TTriggerEvent OnTrigger, bool Recurring, bool Enabled)
{
    int32_t handle;
    do {
        handle = m_nextHandle;
        m_nextHandle = m_nextHandle == INT32_MAX ? 1 : m_nextHandle + 1;
    } while (IndexOf(handle) >= 0);

    auto entry = std::make_unique<TTimerEntry>();
    entry->Handle = handle;
    entry->Interval = Interval;
    entry->LastTick = CurrentTick();
    entry->OnTrigger = std::move(OnTrigger);
    entry->Enabled = Enabled;
    entry->Recurring = Recurring;
    m_entries.push_back(std::move(entry));
    RefreshAfterChange();
    return handle;
}

void TTimerPool::Remove(int32_t Handle)
{
    const int index = IndexOf(Handle);
    if (index < 0)
        return;
    TTimerEntry& entry = *m_entries[static_cast<size_t>(index)];
    // An entry whose handlers are running is deleted when its firing ends. This holds
    // for an entry already marked, too: deleting it here would pull it from under Tick.
    if (entry.State == TTimerEntry::Firing) {
        entry.State = TTimerEntry::RemovalPending;
        return;
    }
    if (entry.State == TTimerEntry::RemovalPending)
        return;
    DeleteAt(index);
    RefreshAfterChange();
}

void TTimerPool::Clear()
{
    for (int i = Count() - 1; i >= 0; --i) {
        TTimerEntry& entry = *m_entries[static_cast<size_t>(i)];
        if (entry.State == TTimerEntry::Idle)
            DeleteAt(i);
        else
            entry.State = TTimerEntry::RemovalPending; // freed when its firing ends
    }
    m_enabledCount = 0;
    m_period = 0;
    RestartTimer();
}

int TTimerPool::IndexOf(int32_t Handle) const
{
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i]->Handle == Handle)
            return static_cast<int>(i);
    return -1;
}

int32_t TTimerPool::CountEnabled() const
{
    return static_cast<int32_t>(
        std::count_if(m_entries.begin(), m_entries.end(), [](const auto& e) { return e->Enabled; }));
}

void TTimerPool::RecomputePeriod()
{
    const uint32_t now = CurrentTick();
    bool any = false;
    int64_t period = INT64_MAX;
    for (const auto& e : m_entries) {
        if (!e->Enabled)
            continue;
        any = true;
        if (static_cast<int64_t>(e->Interval) < period)
            period = e->Interval;
        const int32_t since = static_cast<int32_t>(e->LastTick) > static_cast<int32_t>(now)
                                  ? INT32_MAX
                                  : static_cast<int32_t>(now - e->LastTick);
        const int64_t remaining = static_cast<int64_t>(e->Interval) - since;
        if (remaining < period)
            period = remaining;
    }
    if (!any) {
        m_period = 0;
        return;
    }
    // Overdue entries land here too: the timer then runs at the floor, never stops.
    if (period < MinPeriod)
        period = MinPeriod;
    // Lower the period until it divides every interval (disabled entries included).
    while (period > MinPeriod) {
        int64_t remainder = 0;
        for (const auto& e : m_entries) {
            remainder = static_cast<int64_t>(e->Interval) % period;
            if (remainder != 0)
                break;
        }
        if (remainder == 0)
            break;
        period -= remainder;
    }
    if (period < MinPeriod)
        period = MinPeriod;
    m_period = static_cast<uint32_t>(period);
}

void TTimerPool::RestartTimer()
{
    m_window->KillTimer(TimerId);
    if (m_period == 0 || m_enabledCount <= 0)
        return;
    // A window timer needs an event loop on the window's own thread.
    QThread* owner = m_window->thread();
    if (owner != QThread::currentThread() || !QAbstractEventDispatcher::instance(owner))
        throw ENoTimersAvailable();
    m_window->SetTimer(TimerId, static_cast<int>(std::min<uint32_t>(m_period, INT32_MAX)));
}

void TTimerPool::DeleteAt(int index)
{
    m_entries.erase(m_entries.begin() + index);
}

void TTimerPool::RefreshAfterChange()
{
    m_enabledCount = CountEnabled();
    RecomputePeriod();
    RestartTimer();
}

int TTimerPool::PositionOf(const TTimerEntry* entry) const
{
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].get() == entry)
            return static_cast<int>(i);
    return -1;
}

TTimerPool* GlobalTimerPool()
{
    if (!g_globalPool) {
        g_globalPool = new TTimerPool;
        qAddPostRoutine(FreeGlobalTimerPool);
    }
    return g_globalPool;
}

void FreeGlobalTimerPool()
{
    if (!g_globalPool)
        return;
    qRemovePostRoutine(FreeGlobalTimerPool);
    TTimerPool* pool = g_globalPool;
    g_globalPool = nullptr;
    pool->Clear();
    delete pool;
}
