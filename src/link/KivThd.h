#pragma once
// The periodic worker: a threaded action that runs one long execution of itself on
// its own pool thread, ticking a timer list and OnTick at a fixed interval, and
// forwards notifications posted from that thread to the user-interface thread.
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "MqThreadedActions.h"

class TThdTmrList;

// Called with (the list, the entry's index, 0, 0).
using TThdTmrCallback = std::function<void(TThdTmrList* List, int Index, int32_t, int32_t)>;

// One timer of a timer list.
struct TThdTmrEntry {
    enum : uint8_t { Stopped = 0, Running = 1, RestartRequested = 2 };
    uint32_t Word = 0;       // not interpreted by the list
    uint8_t State = Stopped; // any value other than Running and RestartRequested means stopped
    double LastFire = 0;     // days; 0 = not started
    int32_t Interval = 0;    // ms
    TThdTmrCallback Callback;
};

// Timers ticked by the worker. An entry fires once per interval (the first time one
// interval after it starts), as finely as the worker's ticks allow. Thread-safe.
class TThdTmrList {
public:
    TThdTmrList() = default;
    ~TThdTmrList();
    TThdTmrList(const TThdTmrList&) = delete;
    TThdTmrList& operator=(const TThdTmrList&) = delete;

    // Takes ownership; returns the index.
    int Add(std::unique_ptr<TThdTmrEntry> Entry);
    void Remove(int Index);
    int Count() const;
    // The list's own item accessors; Put replaces (and frees) the entry at Index.
    TThdTmrEntry* Get(int Index) const;
    void Put(int Index, std::unique_ptr<TThdTmrEntry> Entry);

    void Tick();
    // Frees every entry; raises when entries were added and never removed
    // ("Rem: %d  Add: %d  Cnt: %d"), leaving the list as it was.
    void Destroy();

    int32_t RemovedCount() const;
    int32_t AddedCount() const;

private:
    mutable std::recursive_mutex m_lock;
    std::vector<std::unique_ptr<TThdTmrEntry>> m_entries;
    int32_t m_removed = 0;
    int32_t m_added = 0;
};

class TThd : public TMqThreadedAction {
public:
    enum : uint8_t { rsIdle = 0, rsCreated = 1, rsRunning = 2, rsStopRequested = 3, rsFinished = 4 };

    // Starts the loop at once, ticking every 100 ms.
    explicit TThd(QObject* Owner = nullptr);
    ~TThd() override;

    // From any thread at any time; takes effect at the loop's next due test.
    void SetInterval(int32_t ms);
    int32_t Interval() const;
    uint8_t RunState() const { return m_shared->RunState.load(); }
    double LastTick() const;
    // True on the worker while it is not asked to stop.
    bool KeepRunning() const;

    // Posts a notification from any thread; OnWorkerNotify receives it on the user-interface thread.
    void Notify(const TVarRecArray& Params, TMqNotifyQueueStrategy Strategy);
    TMqNotifier* Notifier() const { return m_notifier.get(); }
    TThdTmrList* TimerList() const { return m_shared->TimerList.get(); }

    // Run on the user-interface thread for every notification.
    TMqThreadNotifyEvent OnWorkerNotify() const;
    void SetOnWorkerNotify(TMqThreadNotifyEvent Value);
    // Run on the worker at every tick (Sender and Params of the execution).
    TMqThreadExecuteEvent OnTick() const;
    void SetOnTick(TMqThreadExecuteEvent Value);

protected:
    // Stops the loop and waits for it (at most 5 s); the after-execute handler, also run by the destructor.
    void StopHandler();

private:
    // What the loop touches: it outlives this object while a loop that will not stop still runs.
    struct TShared {
        std::atomic<uint8_t> RunState{rsCreated};
        // Interval, LastTick, OnTick and the timer list's lifetime; re-entrant, as a
        // timer callback may call SetInterval.
        mutable std::recursive_mutex Lock;
        int32_t Interval = 100;
        double LastTick = 0;
        TMqThreadExecuteEvent OnTick;
        std::unique_ptr<TThdTmrList> TimerList;
    };
    static void RunLoop(const std::shared_ptr<TShared>& Shared, QObject* Sender, const IMqParamsPtr& Params);
    static bool KeepRunning(const TShared& Shared);

    std::shared_ptr<TShared> m_shared;
    std::unique_ptr<TMqNotifier> m_notifier;
    mutable std::mutex m_eventLock;
    TMqThreadNotifyEvent m_onWorkerNotify;
    bool m_executed = false; // the constructor's execution found a thread
    bool m_stopHandled = false;
    bool m_loopStuck = false;
};
