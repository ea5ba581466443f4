#include "KivThd.h"

#include <thread>

#include "KivUtils.h"

using namespace std::chrono_literals;

// ============================== timer list ==============================

TThdTmrList::~TThdTmrList() = default;

int TThdTmrList::Add(std::unique_ptr<TThdTmrEntry> Entry)
{
    std::lock_guard lock(m_lock);
    m_entries.push_back(std::move(Entry));
    ++m_added;
    return static_cast<int>(m_entries.size()) - 1;
}

void TThdTmrList::Remove(int Index)
{
    std::lock_guard lock(m_lock);
    m_entries.erase(m_entries.begin() + Index);
    ++m_removed;
}

int TThdTmrList::Count() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_entries.size());
}

TThdTmrEntry* TThdTmrList::Get(int Index) const
{
    std::lock_guard lock(m_lock);
    return m_entries.at(static_cast<size_t>(Index)).get();
}

void TThdTmrList::Put(int Index, std::unique_ptr<TThdTmrEntry> Entry)
{
    std::lock_guard lock(m_lock);
    m_entries.at(static_cast<size_t>(Index)) = std::move(Entry);
}

int32_t TThdTmrList::RemovedCount() const
{
    std::lock_guard lock(m_lock);
    return m_removed;
}

int32_t TThdTmrList::AddedCount() const
{
    std::lock_guard lock(m_lock);
    return m_added;
}

void TThdTmrList::Tick()
{
    std::lock_guard lock(m_lock);
    try {
        // By index: a callback may add or remove entries.
        for (size_t i = 0; i < m_entries.size(); ++i) {
            TThdTmrEntry* entry = m_entries[i].get();
            switch (entry->State) {
            case TThdTmrEntry::Running:
                // Armed at now, so an entry fires once per interval (not every second one).
                if (entry->LastFire == 0)
                    entry->LastFire = UtcNow();
                if (IntervalElapsed(entry->LastFire, entry->Interval) && entry->Callback)
                    entry->Callback(this, static_cast<int>(i), 0, 0);
                break;
            case TThdTmrEntry::RestartRequested:
                entry->LastFire = 0;
                entry->State = TThdTmrEntry::Running;
                break;
            default:
                entry->LastFire = 0;
                break;
            }
        }
    } catch (...) {
        // Ends this tick of the list only.
    }
}

void TThdTmrList::Destroy()
{
    std::lock_guard lock(m_lock);
    if (m_removed != m_added)
        throw EMqException(QString::asprintf("Rem: %d  Add: %d  Cnt: %d", m_removed, m_added,
                                             static_cast<int>(m_entries.size())));
    m_entries.clear();
}

// ============================== periodic worker ==============================

TThd::TThd(QObject* Owner) : TMqThreadedAction(Owner), m_shared(std::make_shared<TShared>())
{
    SetInterval(100);
    m_shared->TimerList = std::make_unique<TThdTmrList>();
    m_notifier = std::make_unique<TMqNotifier>();
    m_notifier->OnNotify = [this](QObject* sender, const IMqNotifyParamsPtr& params) {
        if (TMqThreadNotifyEvent handler = OnWorkerNotify())
            handler(sender, params);
    };
    m_shared->RunState = rsCreated;
    setObjectName(QStringLiteral("TThd"));
    // The loop holds only the shared part, never this object.
    SetOnExecute([shared = m_shared](QObject* sender, const IMqParamsPtr& params) {
        RunLoop(shared, sender, params);
    });
    SetOnAfterExecute([this](QObject*, const IMqNotifyParamsPtr&) { StopHandler(); });
    SetEnabled(true);
    m_executed = Execute({"Hello, World"}) != nullptr;
}

TThd::~TThd()
{
    if (!m_stopHandled)
        StopHandler();
    for (int i = 0; i < 100 && RunState() != rsIdle; ++i)
        std::this_thread::sleep_for(50ms);
    m_notifier.reset();
    std::unique_ptr<TThdTmrList> timers;
    {
        std::lock_guard lock(m_shared->Lock);
        timers = std::move(m_shared->TimerList);
    }
    try {
        timers->Destroy();
    } catch (...) {
        MqReportException(std::current_exception()); // a destructor cannot pass it on
    }
    // A loop that did not stop within the wait is given up at once rather than waited for again.
    if (m_loopStuck)
        ThreadPool()->SetStopBound(0);
}

void TThd::SetInterval(int32_t ms)
{
    std::lock_guard lock(m_shared->Lock);
    m_shared->Interval = ms;
    m_shared->LastTick = UtcNow() + MsToDays(ms);
}

int32_t TThd::Interval() const
{
    std::lock_guard lock(m_shared->Lock);
    return m_shared->Interval;
}

double TThd::LastTick() const
{
    std::lock_guard lock(m_shared->Lock);
    return m_shared->LastTick;
}

bool TThd::KeepRunning(const TShared& Shared)
{
    return !CurrentHostThread()->Terminated() && Shared.RunState.load() == rsRunning;
}

bool TThd::KeepRunning() const
{
    return KeepRunning(*m_shared);
}

void TThd::Notify(const TVarRecArray& Params, TMqNotifyQueueStrategy Strategy)
{
    if (m_notifier)
        m_notifier->Notify(Params, Strategy);
}

TMqThreadNotifyEvent TThd::OnWorkerNotify() const
{
    std::lock_guard lock(m_eventLock);
    return m_onWorkerNotify;
}

void TThd::SetOnWorkerNotify(TMqThreadNotifyEvent Value)
{
    std::lock_guard lock(m_eventLock);
    m_onWorkerNotify = std::move(Value);
}

TMqThreadExecuteEvent TThd::OnTick() const
{
    std::lock_guard lock(m_shared->Lock);
    return m_shared->OnTick;
}

void TThd::SetOnTick(TMqThreadExecuteEvent Value)
{
    std::lock_guard lock(m_shared->Lock);
    m_shared->OnTick = std::move(Value);
}

void TThd::RunLoop(const std::shared_ptr<TShared>& Shared, QObject* Sender, const IMqParamsPtr& Params)
{
    uint8_t created = rsCreated;
    if (Shared->RunState.compare_exchange_strong(created, rsRunning)) {
        try {
            while (KeepRunning(*Shared)) {
                std::this_thread::sleep_for(25ms);
                TMqThreadExecuteEvent onTick;
                {
                    std::lock_guard lock(Shared->Lock);
                    if (IntervalElapsed(Shared->LastTick, Shared->Interval)) {
                        if (Shared->TimerList)
                            Shared->TimerList->Tick();
                        onTick = Shared->OnTick;
                        if (!onTick)
                            continue;
                    }
                }
                if (onTick)
                    onTick(Sender, Params);
            }
        } catch (...) {
            // Any exception ends the loop for good; it is not reported.
        }
    }
    // Finished, whether it ran or was stopped before it began; a stop that has already
    // completed (idle) is never overwritten.
    uint8_t state = Shared->RunState.load();
    while ((state == rsCreated || state == rsRunning || state == rsStopRequested) &&
           !Shared->RunState.compare_exchange_weak(state, rsFinished)) {
    }
}

void TThd::StopHandler()
{
    m_stopHandled = true;
    if (m_notifier)
        m_notifier->OnNotify = nullptr;
    SetOnTick({});
    SetOnWorkerNotify({});
    SetOnAfterExecute({});
    // Only a loop that runs, or is about to, is asked and waited for: one that has
    // already finished would never answer.
    uint8_t state = rsRunning;
    bool asked = m_shared->RunState.compare_exchange_strong(state, rsStopRequested);
    if (!asked && m_executed) {
        state = rsCreated;
        asked = m_shared->RunState.compare_exchange_strong(state, rsStopRequested);
    }
    if (asked) {
        for (int i = 0; i < 100 && RunState() == rsStopRequested; ++i)
            std::this_thread::sleep_for(50ms);
        m_loopStuck = RunState() == rsStopRequested;
    }
    // Cleared after the wait, so that an execution about to start still runs the loop and answers.
    SetOnExecute({});
    SetEnabled(false);
    m_shared->RunState = rsIdle;
}
