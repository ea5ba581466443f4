#pragma once
// Host threads: the runtime's handle on one thread, either a worker it runs itself
// (for a thread pool) or an existing thread it adopts (the user-interface thread),
// with a busy lock, cross-thread procedure calls (APC calls) run at alertable waits,
// the hand-over of one work item and the termination protocol.
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "MqUtils.h"

class QObject;
class TMqHostThread;
struct TMqThreadSlot;
using TMqHostThreadPtr = std::shared_ptr<TMqHostThread>;

MQ_DECLARE_EXCEPTION(EMqThread, EMqException);
MQ_DECLARE_EXCEPTION(EMqThreadBusy, EMqThread);
MQ_DECLARE_EXCEPTION(EMqThreadTerminated, EMqThread);
MQ_DECLARE_EXCEPTION(EMqThreadUnhandledAPC, EMqThread);
MQ_DECLARE_EXCEPTION(EMqApplicationTerminated, EMqThread);
MQ_DECLARE_EXCEPTION(EMqThreadCalleeError, EMqThread);

// Event shapes shared by the runtime and its users.
using TMqThreadExecuteEvent = std::function<void(QObject* Sender, const IMqParamsPtr& Params)>;
using TMqThreadNotifyEvent = std::function<void(QObject* Sender, const IMqNotifyParamsPtr& Params)>;
using TMqThreadExceptionEvent = std::function<void(QObject* Sender, const std::exception& E, bool& Handled)>;
using TMqThreadEvent = std::function<void(QObject* Sender)>;

// The methods a work item carries.
using TMqHostExecuteMethod = std::function<void(TMqHostThread* Host, const IMqParamsPtr& Params)>;
using TMqAfterExecuteMethod = std::function<void(TMqHostThread* Caller)>;

// --- the busy lock ---

class TMqThreadLock {
public:
    virtual ~TMqThreadLock() = default;
    virtual void Acquire() = 0;
    virtual void Release() = 0;
    virtual bool TryAcquire() = 0;
};

// Re-entrant for its owner: a thread that holds it may take it again and releases it as often.
class TMqThreadLock2000 : public TMqThreadLock {
public:
    void Acquire() override { m_lock.lock(); }
    void Release() override { m_lock.unlock(); }
    bool TryAcquire() override { return m_lock.try_lock(); }

private:
    std::recursive_mutex m_lock;
};

// --- interfaces ---

// Implemented by thread pools for their workers.
class IMqThreadGuest {
public:
    virtual ~IMqThreadGuest() = default;
    virtual bool Prolog() = 0;
    virtual void Epilog() = 0;
    virtual void Execute(const IMqParamsPtr& Work) = 0;
};

class IMqAPCHandler : public IMqInterface {
public:
    // True = keep waiting.
    virtual bool Handle() = 0;
};
using IMqAPCHandlerPtr = std::shared_ptr<IMqAPCHandler>;

// Deposited by a result's signal: ends the wait it lands in.
class TMqSignalAPC : public IMqAPCHandler {
public:
    bool Handle() override { return false; }
};

class IMqExecuteProxy : public virtual IMqInterface {
public:
    virtual TMqHostThreadPtr GetHost() const = 0;
    virtual TMqHostThreadPtr GetCaller() const = 0;
    virtual TMqAfterExecuteMethod GetOnAfterExecute() const = 0;
    virtual TMqHostExecuteMethod GetOnExecute() const = 0;
    virtual TMqThreadExceptionEvent GetOnException() const = 0;
};
using IMqExecuteProxyPtr = std::shared_ptr<IMqExecuteProxy>;

class TNotificationQueueState;
using TNotificationQueueStatePtr = std::shared_ptr<TNotificationQueueState>;

class IMqNotifyProxy : public virtual IMqInterface {
public:
    virtual TMqThreadNotifyEvent GetCallback() const = 0;
    virtual TNotificationQueueStatePtr GetQueue() const = 0;
    virtual void SetCallback(const TMqThreadNotifyEvent& Value) = 0;
    virtual void SetQueue(const TNotificationQueueStatePtr& Value) = 0;
};
using IMqNotifyProxyPtr = std::shared_ptr<IMqNotifyProxy>;

class IMqResultParams : public virtual IMqNotifyParams {
public:
    // Waits (alertably) until the result is signalled or Timeout ms have passed.
    virtual void Wait(int Timeout) = 0;
    virtual void Signal(TMqHostThread* Caller) = 0;
};
using IMqResultParamsPtr = std::shared_ptr<IMqResultParams>;

// --- proxies ---

// One work item: the caller's arguments plus the methods to run.
class TMqExecuteProxy : public TMqParams, public IMqExecuteProxy {
public:
    TMqExecuteProxy(TMqHostThreadPtr Host, TMqHostThreadPtr Caller, TMqAfterExecuteMethod OnAfterExecute,
                    TMqHostExecuteMethod OnExecute, TMqThreadExceptionEvent OnException,
                    const TVarRecArray& Params);
    TMqHostThreadPtr GetHost() const override { return m_host; }
    TMqHostThreadPtr GetCaller() const override { return m_caller; }
    TMqAfterExecuteMethod GetOnAfterExecute() const override { return m_onAfterExecute; }
    TMqHostExecuteMethod GetOnExecute() const override { return m_onExecute; }
    TMqThreadExceptionEvent GetOnException() const override { return m_onException; }

private:
    TMqHostThreadPtr m_host;
    TMqHostThreadPtr m_caller;
    TMqAfterExecuteMethod m_onAfterExecute;
    TMqHostExecuteMethod m_onExecute;
    TMqThreadExceptionEvent m_onException;
};

// A named notification on its way to the user-interface thread.
class TMqNotifyProxy : public TMqNotifyParams, public virtual IMqNotifyProxy {
public:
    TMqNotifyProxy(const QString& Name, const TVarRecArray& Params, bool Trace = false);
    TMqThreadNotifyEvent GetCallback() const override;
    TNotificationQueueStatePtr GetQueue() const override;
    void SetCallback(const TMqThreadNotifyEvent& Value) override;
    void SetQueue(const TNotificationQueueStatePtr& Value) override;

protected:
    TMqNotifyProxy(const char* className, const QString& Name, const TVarRecArray& Params, bool Trace);

private:
    mutable std::mutex m_lock; // set on the worker, read on the user-interface thread
    TMqThreadNotifyEvent m_callback;
    TNotificationQueueStatePtr m_queue;
};

// The outcome of one work item, which a caller may wait for.
class TMqResultProxy : public TMqNotifyProxy, public virtual IMqResultParams {
public:
    TMqResultProxy();
    void Wait(int Timeout) override;
    void Signal(TMqHostThread* Caller) override;
    bool Done() const;
    int Waiters() const { return m_waiters.load(); }

private:
    std::atomic<int32_t> m_waiters{0};
    bool m_done = false; // guarded by the global lock
};

// --- host threads ---

enum : uint8_t {
    hsPending = 0x01,
    hsBusy = 0x02,
    hsUnusable = 0x04,
    hsFinished = 0x08,
    hsRunning = 0x10,
};

using TMqAPCProc = std::function<void()>;

class TMqHostThread : public std::enable_shared_from_this<TMqHostThread> {
public:
    // A worker for a pool: its thread starts at once, named Name, and polls for work.
    static TMqHostThreadPtr CreateWorker(IMqThreadGuest* Guest, const QString& Name = {});
    ~TMqHostThread();
    TMqHostThread(const TMqHostThread&) = delete;
    TMqHostThread& operator=(const TMqHostThread&) = delete;

    // Stops a worker: asks it to end and waits for it (bounded by StopBound), or, when
    // waiting is not possible or the bound passes, abandons it. Idempotent.
    void Stop();
    // How long Stop waits for a running worker before abandoning it (ms, default 5000).
    void SetStopBound(int ms) { m_stopBound = ms; }

    bool IsWorker() const { return m_isWorker; }
    bool Terminated() const { return m_terminated.load(); }
    // The thread was given up while still running; it must touch nothing it does not own.
    bool Abandoned() const { return m_abandoned.load(); }
    uint8_t State() const { return m_state.load(); }
    QString Name() const { return m_name; }
    uint32_t ExecutionCount() const { return m_executionCount.load(); }
    std::thread::id ThreadId() const { return m_threadId; }
    // An adopted thread that has ended.
    bool Ended() const { return m_ended.load(); }

    bool TryLock();
    void Unlock();

    // Hands one work item over; raises EMqThreadBusy when the thread cannot take it.
    void Execute(QObject* Sender, TMqAfterExecuteMethod OnAfterExecute, TMqHostExecuteMethod OnExecute,
                 TMqThreadExceptionEvent OnException, const TVarRecArray& Params);

    // Runs Proc on this thread at its next alertable wait.
    void QueueAPC(TMqAPCProc Proc);

    IMqResultParamsPtr GetResult();
    bool HasResult() const;

    void SetAPCHandler(const IMqAPCHandlerPtr& Handler);
    bool HandleAPC();

    // Runs the queued APC calls, in order (an exception from one leaves the rest queued).
    // Returns true when at least one ran.
    bool RunAPCs();
    bool HasAPCs() const;

private:
    friend class THostThreadList;
    friend struct TMqThreadSlot;
    friend TMqHostThread* CurrentHostThread();
    friend void AlertableWait(int Timeout);
    friend void AlertableSleep(int ms);
    struct TPrivate {};

public:
    TMqHostThread(TPrivate, IMqThreadGuest* Guest, const QString& Name);

private:
    static TMqHostThreadPtr Adopt();
    void RunLoop();
    void LockSelf();
    void UnlockSelf();
    void Incinerate();
    // Sleeps up to ms, returning early for an APC call or a kick; runs the calls.
    void SleepAlertable(int ms);
    // Waits up to ms for an APC call to be queued (does not run it); true when one is there.
    bool WaitForAPC(int64_t ms);
    void Kick();
    void SetFlags(uint8_t f) { m_state.fetch_or(f); }
    void ClearFlags(uint8_t f) { m_state.fetch_and(static_cast<uint8_t>(~f)); }

    IMqAPCHandlerPtr m_apcHandler;
    std::atomic<uint32_t> m_executionCount{0};
    bool m_isWorker = false;
    bool m_isUi = false; // adopted user-interface thread: its waits process Qt events
    IMqThreadGuest* m_guest;
    std::unique_ptr<TMqThreadLock> m_lock;
    bool m_lockHeld = false;
    IMqParamsPtr m_work;
    IMqResultParamsPtr m_result; // guarded by the global lock
    std::thread m_worker;
    std::thread::id m_threadId;
    std::atomic<uint8_t> m_state{0};
    bool m_prologDone = false;
    QString m_name;

    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_abandoned{false};
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_stopped{false};
    int m_stopBound = 5000;

    // The APC queue and the wake-up of the worker's poll.
    mutable std::mutex m_apcLock;
    std::condition_variable m_apcSignal;
    std::deque<TMqAPCProc> m_apcCalls;
    bool m_kicked = false;
    std::mutex m_finishLock;
    std::condition_variable m_finishSignal;
};

// The calling thread's host thread, adopting the thread on first use.
TMqHostThread* CurrentHostThread();
// The same, as a shared reference.
TMqHostThreadPtr CurrentHostThreadRef();
// True when the calling thread is a worker that has been abandoned.
bool MqCurrentThreadAbandoned();
// The APC call that raises EMqThreadCalleeError in a caller whose work item failed.
TMqAPCProc MqRaiseCalleeErrorAPC();

// Waits on the calling thread for Timeout ms while running its APC calls; on the
// user-interface thread it also processes Qt events. An APC ends the wait unless its
// handler says to keep waiting. Raises EMqApplicationTerminated when the application
// is told to quit during the wait.
void AlertableWait(int Timeout);
// Sleeps up to ms; queued APC calls run and end the sleep early. Never processes events.
void AlertableSleep(int ms);

// The adopted host threads, owning; ended threads are dropped when the list is full.
class THostThreadList {
public:
    explicit THostThreadList(int Limit);
    ~THostThreadList();
    // Adopts the calling thread.
    TMqHostThreadPtr Add();
    int Count() const;
    int Limit() const { return m_limit; }

private:
    mutable std::mutex m_lock;
    std::vector<TMqHostThreadPtr> m_list;
    int m_limit;
};

// Unit-wide state.
extern std::atomic<int32_t> HostThreadCount;
// False until the notifier thread has started its loop: stopping a thread may wait for it only then.
extern std::atomic<bool> CanWait;
TMqTimer& GlobalTimer();
std::recursive_mutex& GlobalLock();
THostThreadList* HostThreads();
IMqAPCHandlerPtr SignalHandler();

// The host-thread part of the runtime's start and stop.
void MqThreadsInitialize();
void MqThreadsFinalize();
void MqThreadsReleaseSignalHandler();
