#include "MqThreads.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <pthread.h>

#include "MessageWindow.h"
#include "MqDebugLog.h"
#include "MqRuntime.h"

std::atomic<int32_t> HostThreadCount{0};
std::atomic<bool> CanWait{false};

// The calling thread's host thread; an adopted thread also holds its reference here,
// so the host thread outlives any use of it by its own thread.
struct TMqThreadSlot {
    TMqHostThread* Host = nullptr;
    TMqHostThreadPtr Adopted;
    ~TMqThreadSlot();
};

namespace {
thread_local TMqThreadSlot t_current;

// The innermost alertable wait running on the user-interface thread.
struct TUiWait {
    QEventLoop* Loop;
    bool Ours = false; // the wait ended the loop itself (timeout or APC)
};
thread_local TUiWait* t_uiWait = nullptr;

std::mutex g_unitLock;
THostThreadList* g_hostThreads = nullptr;
IMqAPCHandlerPtr g_signalHandler;

// Runs on the user-interface thread: ends the innermost alertable wait so it runs its APC calls.
void WakeUiWait()
{
    if (t_uiWait && !t_uiWait->Ours) {
        t_uiWait->Ours = true;
        t_uiWait->Loop->exit(0);
    }
}

} // namespace

TMqTimer& GlobalTimer()
{
    static auto* timer = new TMqTimer(0, tuMilliseconds);
    return *timer;
}

std::recursive_mutex& GlobalLock()
{
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

THostThreadList* HostThreads()
{
    std::lock_guard lock(g_unitLock);
    return g_hostThreads;
}

IMqAPCHandlerPtr SignalHandler()
{
    std::lock_guard lock(g_unitLock);
    return g_signalHandler ? g_signalHandler : std::make_shared<TMqSignalAPC>();
}

// --- proxies ---

TMqExecuteProxy::TMqExecuteProxy(TMqHostThreadPtr Host, TMqHostThreadPtr Caller,
                                 TMqAfterExecuteMethod OnAfterExecute, TMqHostExecuteMethod OnExecute,
                                 TMqThreadExceptionEvent OnException, const TVarRecArray& Params)
    : TMqParams("TMqExecuteProxy", Params, false), m_host(std::move(Host)), m_caller(std::move(Caller)),
      m_onAfterExecute(std::move(OnAfterExecute)), m_onExecute(std::move(OnExecute)),
      m_onException(std::move(OnException))
{
}

TMqNotifyProxy::TMqNotifyProxy(const QString& Name, const TVarRecArray& Params, bool Trace)
    : TMqNotifyProxy("TMqNotifyProxy", Name, Params, Trace)
{
}

TMqNotifyProxy::TMqNotifyProxy(const char* className, const QString& Name, const TVarRecArray& Params,
                               bool Trace)
    : TMqNotifyParams(className, Name, Params, Trace)
{
}

TMqThreadNotifyEvent TMqNotifyProxy::GetCallback() const
{
    std::lock_guard lock(m_lock);
    return m_callback;
}

TNotificationQueueStatePtr TMqNotifyProxy::GetQueue() const
{
    std::lock_guard lock(m_lock);
    return m_queue;
}

void TMqNotifyProxy::SetCallback(const TMqThreadNotifyEvent& Value)
{
    std::lock_guard lock(m_lock);
    m_callback = Value;
}

void TMqNotifyProxy::SetQueue(const TNotificationQueueStatePtr& Value)
{
    std::lock_guard lock(m_lock);
    m_queue = Value;
}

TMqResultProxy::TMqResultProxy() : TMqNotifyProxy("TMqResultProxy", QString(), {}, true) {}

bool TMqResultProxy::Done() const
{
    std::lock_guard lock(GlobalLock());
    return m_done;
}

void TMqResultProxy::Wait(int Timeout)
{
    {
        std::lock_guard lock(GlobalLock());
        if (m_done)
            return;
        m_waiters.fetch_add(1);
    }
    try {
        AlertableWait(Timeout);
    } catch (...) {
        m_waiters.fetch_sub(1);
        throw;
    }
    m_waiters.fetch_sub(1);
}

void TMqResultProxy::Signal(TMqHostThread* Caller)
{
    std::lock_guard lock(GlobalLock());
    m_done = true;
    if (m_waiters.load() > 0 && Caller) {
        // DepositSignal: the waiting thread's next alertable wait finds the signal handler and ends.
        Caller->QueueAPC([] { CurrentHostThread()->SetAPCHandler(SignalHandler()); });
    }
}

TMqAPCProc MqRaiseCalleeErrorAPC()
{
    return [] { throw EMqThreadCalleeError("Execution of ThreadedAction Failed"); };
}

// --- host threads ---

TMqThreadSlot::~TMqThreadSlot()
{
    if (Adopted)
        Adopted->m_ended = true;
}

TMqHostThread::TMqHostThread(TPrivate, IMqThreadGuest* Guest, const QString& Name)
    : m_guest(Guest), m_lock(std::make_unique<TMqThreadLock2000>()), m_name(Name)
{
    HostThreadCount.fetch_add(1);
}

TMqHostThread::~TMqHostThread()
{
    if (m_worker.joinable()) {
        // The worker has left its loop (it held a reference until then); it may be this very thread.
        if (m_worker.get_id() == std::this_thread::get_id())
            m_worker.detach();
        else
            m_worker.join();
    }
    HostThreadCount.fetch_sub(1);
}

TMqHostThreadPtr TMqHostThread::CreateWorker(IMqThreadGuest* Guest, const QString& Name)
{
    auto host = std::make_shared<TMqHostThread>(TPrivate{}, Guest, Name);
    host->m_isWorker = true;
    host->m_worker = std::thread([self = host]() mutable {
        self->RunLoop();
        self.reset();
    });
    host->m_threadId = host->m_worker.get_id();
    return host;
}

TMqHostThreadPtr TMqHostThread::Adopt()
{
    auto host = std::make_shared<TMqHostThread>(TPrivate{}, nullptr, QString());
    host->m_threadId = std::this_thread::get_id();
    host->m_isUi = plat::IsUiThread();
    t_current.Host = host.get();
    t_current.Adopted = host;
    return host;
}

void TMqHostThread::LockSelf()
{
    if (!m_lockHeld) {
        m_lock->Acquire();
        m_lockHeld = true;
    }
}

void TMqHostThread::UnlockSelf()
{
    if (m_lockHeld) {
        m_lockHeld = false;
        m_lock->Release();
    }
}

bool TMqHostThread::TryLock()
{
    if (!m_lock->TryAcquire())
        return false;
    if (State() & (hsPending | hsUnusable | hsFinished)) {
        m_lock->Release();
        return false;
    }
    return true;
}

void TMqHostThread::Unlock()
{
    m_lock->Release();
}

void TMqHostThread::RunLoop()
{
    Log("HostThread Execute Poll initiated");
    if (!m_name.isEmpty()) {
        const QByteArray name = m_name.toUtf8().left(15); // the system keeps 15 characters
        pthread_setname_np(pthread_self(), name.constData());
    }
    SetFlags(hsRunning);
    t_current.Host = this; // the lock is first taken after the poll, so a new worker is free at once

    // Runs on every way out of the loop; the last four steps run even when the epilog raises.
    auto leaveLoop = [this] {
        if (!Terminated())
            SetFlags(hsUnusable);
        std::exception_ptr epilogError;
        try {
            if (m_prologDone && !Abandoned())
                m_guest->Epilog();
        } catch (...) {
            epilogError = std::current_exception();
        }
        // A work item left behind (the loop was left by an exception, or the thread was
        // abandoned) refers back to this host thread: let go of it here.
        LockSelf();
        m_work.reset();
        {
            std::lock_guard lock(GlobalLock());
            m_result.reset();
        }
        UnlockSelf();
        t_current.Host = nullptr;
        {
            std::lock_guard lock(m_finishLock);
            SetFlags(hsFinished);
        }
        m_finishSignal.notify_all();
        Log("HostThread Execute Poll terminated");
        if (epilogError)
            std::rethrow_exception(epilogError);
    };

    try {
        try {
            while (!Terminated()) {
                UnlockSelf();
                while (!Terminated() && !(State() & hsPending))
                    SleepAlertable(10);
                LockSelf();
                if (Terminated())
                    ClearFlags(hsPending);
                if ((State() & hsPending) && !m_prologDone && !Abandoned()) {
                    m_prologDone = m_guest->Prolog();
                    if (!m_prologDone)
                        m_state = hsUnusable;
                }
                if ((State() & hsPending) && !Abandoned()) {
                    m_executionCount.fetch_add(1);
                    SetFlags(hsBusy);
                    ClearFlags(hsPending);
                    m_guest->Execute(m_work);
                    if (Abandoned())
                        break; // given up while it worked: its pool may be gone
                    m_work.reset();
                    {
                        std::lock_guard lock(GlobalLock());
                        m_result.reset();
                    }
                    ClearFlags(hsBusy);
                }
            }
        } catch (...) {
            leaveLoop();
            throw;
        }
        leaveLoop();
    } catch (const EMqThreadTerminated&) {
        Log("Thread terminated by EMqThreadTerminated");
    } catch (...) {
        // Any other exception simply ends the thread.
    }
}

void TMqHostThread::Kick()
{
    {
        std::lock_guard lock(m_apcLock);
        m_kicked = true;
    }
    m_apcSignal.notify_all();
}

void TMqHostThread::SleepAlertable(int ms)
{
    {
        std::unique_lock lock(m_apcLock);
        m_apcSignal.wait_for(lock, std::chrono::milliseconds(ms),
                             [this] { return !m_apcCalls.empty() || m_kicked; });
        m_kicked = false;
    }
    RunAPCs();
}

bool TMqHostThread::WaitForAPC(int64_t ms)
{
    std::unique_lock lock(m_apcLock);
    return m_apcSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_apcCalls.empty(); });
}

bool TMqHostThread::HasAPCs() const
{
    std::lock_guard lock(m_apcLock);
    return !m_apcCalls.empty();
}

bool TMqHostThread::RunAPCs()
{
    bool ran = false;
    for (;;) {
        TMqAPCProc call;
        {
            std::lock_guard lock(m_apcLock);
            if (m_apcCalls.empty())
                return ran;
            call = std::move(m_apcCalls.front());
            m_apcCalls.pop_front();
        }
        ran = true;
        call();
    }
}

void TMqHostThread::QueueAPC(TMqAPCProc Proc)
{
    {
        std::lock_guard lock(m_apcLock);
        m_apcCalls.push_back(std::move(Proc));
    }
    m_apcSignal.notify_all();
    if (m_isUi) {
        // Ends a nested event loop of an alertable wait; outside such a wait the call stays queued.
        if (auto* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &WakeUiWait, Qt::QueuedConnection);
    }
}

void TMqHostThread::Execute(QObject*, TMqAfterExecuteMethod OnAfterExecute, TMqHostExecuteMethod OnExecute,
                            TMqThreadExceptionEvent OnException, const TVarRecArray& Params)
{
    if (!TryLock())
        throw EMqThreadBusy("Execute: Thread busy");
    try {
        m_work = std::make_shared<TMqExecuteProxy>(shared_from_this(), CurrentHostThreadRef(),
                                                   std::move(OnAfterExecute), std::move(OnExecute),
                                                   std::move(OnException), Params);
        // A thread created a moment ago may not have started its loop yet.
        while (!(State() & hsRunning)) {
            if (State() & (hsFinished | hsUnusable))
                throw EMqThreadBusy("Execute: Thread busy");
            std::this_thread::yield();
        }
        SetFlags(hsPending);
        Kick(); // picked up at once rather than at the next 10 ms poll
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
}

IMqResultParamsPtr TMqHostThread::GetResult()
{
    std::lock_guard lock(GlobalLock());
    if (!m_result)
        m_result = std::make_shared<TMqResultProxy>();
    return m_result;
}

bool TMqHostThread::HasResult() const
{
    std::lock_guard lock(GlobalLock());
    return m_result != nullptr;
}

void TMqHostThread::SetAPCHandler(const IMqAPCHandlerPtr& Handler)
{
    if (m_apcHandler)
        throw EMqThreadUnhandledAPC("Previous APC not handled");
    m_apcHandler = Handler;
}

bool TMqHostThread::HandleAPC()
{
    IMqAPCHandlerPtr handler = std::move(m_apcHandler); // the slot is empty afterwards, also on failure
    m_apcHandler.reset();
    if (!handler)
        throw EMqThread("Unexpected APC");
    return handler->Handle();
}

void TMqHostThread::Stop()
{
    if (!m_isWorker || m_stopped.exchange(true))
        return;
    if (m_threadId == std::this_thread::get_id()) {
        // Stopped from its own work item: it ends when it is back in its loop.
        m_terminated = true;
        Kick();
        m_worker.detach();
        return;
    }
    if (CanWait.load() && (State() & hsRunning)) {
        m_terminated = true;
        QueueAPC([] { throw EMqThreadTerminated("Thread terminated in APC"); });
        bool finished;
        {
            std::unique_lock lock(m_finishLock);
            finished = m_finishSignal.wait_for(lock, std::chrono::milliseconds(m_stopBound),
                                               [this] { return (State() & hsFinished) != 0; });
        }
        if (finished) {
            m_worker.join();
            return;
        }
    }
    Incinerate();
}

// A thread cannot be killed safely: it is let go and marked abandoned, so that it
// leaves its loop without touching its pool when it next looks.
void TMqHostThread::Incinerate()
{
    Log("<TMqThread.Incinerate>");
    m_abandoned = true;
    m_terminated = true;
    Kick();
    if (m_worker.joinable())
        m_worker.detach();
    Log("</TMqThread.Incinerate>");
}

// --- the calling thread ---

TMqHostThread* CurrentHostThread()
{
    if (t_current.Host)
        return t_current.Host;
    MqRuntimeEnsureStarted();
    {
        std::lock_guard lock(g_unitLock);
        if (g_hostThreads)
            return g_hostThreads->Add().get();
    }
    return TMqHostThread::Adopt().get();
}

TMqHostThreadPtr CurrentHostThreadRef()
{
    return CurrentHostThread()->shared_from_this();
}

bool MqCurrentThreadAbandoned()
{
    return t_current.Host && t_current.Host->Abandoned();
}

namespace {
// One wait for input on the user-interface thread: a nested event loop that ends at
// the timeout, for an APC call, or when the application is told to quit. True when
// an APC call is queued.
bool UiWaitForInput(TMqHostThread* self, int64_t ms)
{
    if (self->HasAPCs())
        return true;
    QEventLoop loop;
    TUiWait wait{&loop};
    TUiWait* outer = t_uiWait;
    t_uiWait = &wait;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&wait, &loop] {
        wait.Ours = true;
        loop.exit(0);
    });
    timer.start(static_cast<int>(std::min<int64_t>(ms, INT32_MAX)));
    // A call queued after the check above has posted a wake-up that the loop will see.
    loop.exec();
    t_uiWait = outer;
    if (!wait.Ours) {
        // The application's exit ends every event loop of the thread, the outer ones
        // included, so the quit request is not lost by leaving here.
        throw EMqApplicationTerminated("Application Terminated");
    }
    return self->HasAPCs();
}
} // namespace

void AlertableWait(int Timeout)
{
    TMqHostThread* self = CurrentHostThread();
    const int64_t deadline = GlobalTimer().Elapsed() + Timeout;
    for (;;) {
        const int64_t remaining = deadline - GlobalTimer().Elapsed();
        if (remaining <= 0)
            return;
        const bool apc = (self->m_isUi && QCoreApplication::instance()) ? UiWaitForInput(self, remaining)
                                                                        : self->WaitForAPC(remaining);
        if (apc) {
            self->RunAPCs();
            if (!self->HandleAPC())
                return;
        }
    }
}

void AlertableSleep(int ms)
{
    CurrentHostThread()->SleepAlertable(ms);
}

// --- adopted thread list ---

THostThreadList::THostThreadList(int Limit) : m_limit(std::max(Limit, 1)) {}

THostThreadList::~THostThreadList()
{
    std::vector<TMqHostThreadPtr> list;
    {
        std::lock_guard lock(m_lock);
        list.swap(m_list);
    }
}

TMqHostThreadPtr THostThreadList::Add()
{
    std::lock_guard lock(m_lock);
    if (static_cast<int>(m_list.size()) >= m_limit)
        std::erase_if(m_list, [](const TMqHostThreadPtr& h) { return h->Ended(); });
    TMqHostThreadPtr host = TMqHostThread::Adopt();
    m_list.push_back(host);
    return host;
}

int THostThreadList::Count() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_list.size());
}

// --- unit start and stop ---

void MqThreadsInitialize()
{
    Log("initialization: MqThreads");
    GlobalTimer().Start(0);
    GlobalLock();
    std::lock_guard lock(g_unitLock);
    if (!g_hostThreads)
        g_hostThreads = new THostThreadList(3);
    g_signalHandler = std::make_shared<TMqSignalAPC>();
}

void MqThreadsFinalize()
{
    THostThreadList* list;
    {
        std::lock_guard lock(g_unitLock);
        list = g_hostThreads;
        g_hostThreads = nullptr;
    }
    delete list;
    // The stopping thread lets go of its own adopted host thread; other threads keep theirs until they end.
    if (t_current.Adopted) {
        t_current.Host = nullptr;
        t_current.Adopted.reset();
    }
}

void MqThreadsReleaseSignalHandler()
{
    std::lock_guard lock(g_unitLock);
    g_signalHandler.reset();
}
