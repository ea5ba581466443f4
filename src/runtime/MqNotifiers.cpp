#include "MqNotifiers.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <pthread.h>

#include "MqDebugLog.h"
#include "MqRuntime.h"

std::atomic<int32_t> MessageBacklog{0};
std::atomic<int32_t> NotificationItemQueueCount{0};

namespace {
std::mutex g_instanceLock;
TNotifierThread* g_instance = nullptr;

// The payload of one posted message; the message's own reference to the proxy.
struct TPostedItem {
    IMqNotifyProxyPtr Proxy;
    std::exception_ptr Exception;
};
} // namespace

// --- queues ---

TNotificationItemQueue::TNotificationItemQueue(TUnregistered)
    : TMqQueue<TNotificationItem>(10), m_state(std::make_shared<TNotificationQueueState>())
{
    NotificationItemQueueCount.fetch_add(1);
}

TNotificationItemQueue::TNotificationItemQueue(TMqHostThreadPtr Producer)
    : TNotificationItemQueue(TUnregistered{})
{
    m_producer = std::move(Producer);
    if (TNotifierThread* nt = GetNotifierThread())
        nt->AddQueue(this);
}

TNotificationItemQueue::~TNotificationItemQueue()
{
    m_state->Alive = false; // items already posted are discarded at delivery
    NotificationItemQueueCount.fetch_sub(1);
    if (TNotifierThread* nt = TNotifierThread::Instance())
        nt->RemoveQueue(this);
    // Whatever is left (no notifier thread any more) is released by the ring itself.
}

// --- notifier thread ---

TNotifierThread* TNotifierThread::Instance()
{
    std::lock_guard lock(g_instanceLock);
    return g_instance;
}

TNotifierThread* GetNotifierThread()
{
    MqRuntimeEnsureStarted();
    return TNotifierThread::Instance();
}

void TNotifierThread::Create()
{
    std::lock_guard lock(g_instanceLock);
    if (g_instance)
        return;
    auto* nt = new TNotifierThread;
    g_instance = nt;
    nt->m_exceptionQueue = new TNotificationItemQueue(TNotificationItemQueue::TUnregistered{});
    nt->AddQueue(nt->m_exceptionQueue);
    nt->m_thread = std::thread([nt] { nt->ThreadLoop(); });
}

TNotifierThread::TNotifierThread()
{
    m_window = std::make_unique<plat::MessageWindow>([](uint32_t msg, uintptr_t wParam, intptr_t lParam) {
        if (msg == WM_MQ_NOTIFY)
            Deliver(wParam, lParam);
    });
    m_window->SetReleaser([](uint32_t msg, uintptr_t, intptr_t lParam) {
        if (msg == WM_MQ_NOTIFY)
            Release(lParam);
    });
    // The window belongs to the user-interface thread, whichever thread started the runtime.
    if (auto* app = QCoreApplication::instance(); app && QThread::currentThread() != app->thread())
        m_window->moveToThread(app->thread());
    m_windowRef = m_window->Ref();
}

void TNotifierThread::Destroy()
{
    TNotifierThread* nt = Instance();
    if (!nt)
        return;
    delete nt;
    std::lock_guard lock(g_instanceLock);
    g_instance = nullptr;
}

TNotifierThread::~TNotifierThread()
{
    {
        std::lock_guard lock(m_sleepLock);
        m_terminate = true;
    }
    m_sleepSignal.notify_all();
    // The loop never blocks for long (one sweep at most), so it is always waited for.
    if (m_thread.joinable())
        m_thread.join();
    m_finished = true;
    delete m_exceptionQueue;
    m_exceptionQueue = nullptr;
    {
        std::lock_guard lock(m_lock);
        m_queues.clear();
    }
    m_window->DiscardPending(); // the releaser drops each post's reference
    if (auto* app = QCoreApplication::instance(); app && QThread::currentThread() != m_window->thread())
        m_window.release()->deleteLater();
    else
        m_window.reset();
}

void TNotifierThread::ThreadLoop()
{
    Log("NotifierThread Poll initiated");
    pthread_setname_np(pthread_self(), "Notifier");
    m_loopCount = 1;
    CanWait = true;
    while (!m_terminate.load()) {
        if (!m_paused.load())
            Sweep();
        std::unique_lock lock(m_sleepLock);
        m_sleepSignal.wait_for(lock, std::chrono::milliseconds(m_pollInterval),
                               [this] { return m_terminate.load(); });
        m_loopCount.fetch_add(1);
    }
    Log("NotifierThread Poll terminated");
}

void TNotifierThread::Sweep()
{
    TNotificationItem item;
    bool first = true;
    while (NextItem(item)) {
        if (!first)
            std::this_thread::yield();
        first = false;
        auto* post = new TPostedItem{std::move(item.Proxy), std::move(item.Exception)};
        MessageBacklog.fetch_add(1);
        if (!m_windowRef.Post(WM_MQ_NOTIFY, reinterpret_cast<uintptr_t>(item.Sender),
                              reinterpret_cast<intptr_t>(post)))
            Release(reinterpret_cast<intptr_t>(post));
        item = TNotificationItem();
    }
}

bool TNotifierThread::NextItem(TNotificationItem& Item)
{
    std::lock_guard lock(m_lock);
    const size_t n = m_queues.size();
    for (size_t looked = 0; looked < n; ++looked) {
        if (m_nextIndex >= n)
            m_nextIndex = 0;
        TNotificationItemQueue* queue = m_queues[m_nextIndex++];
        if (!queue->IsEmpty()) {
            queue->Pop(Item);
            return true;
        }
    }
    return false;
}

void TNotifierThread::AddQueue(TNotificationItemQueue* Queue)
{
    std::lock_guard lock(m_lock);
    m_queues.push_back(Queue);
}

void TNotifierThread::RemoveQueue(TNotificationItemQueue* Queue)
{
    std::vector<TNotificationItem> released; // let go of outside the lock
    {
        std::lock_guard lock(m_lock);
        while (!Queue->IsEmpty())
            released.push_back(Queue->Pop());
        std::erase(m_queues, Queue);
    }
}

void TNotifierThread::Push(TNotificationItemQueue* Queue, TNotificationItem Item)
{
    std::lock_guard lock(m_lock);
    Queue->Push(std::move(Item));
}

bool TNotifierThread::DiscardOldest(TNotificationItemQueue* Queue, TNotificationItem& Item)
{
    std::lock_guard lock(m_lock);
    if (Queue->IsEmpty() || !Queue->Peek().Disposable)
        return false;
    Queue->Pop(Item);
    return true;
}

void TNotifierThread::PostException(std::exception_ptr E)
{
    TNotificationItem item;
    item.Exception = std::move(E);
    std::lock_guard lock(m_lock);
    m_exceptionQueue->Push(std::move(item));
}

int TNotifierThread::QueueCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_queues.size());
}

// The window procedure for one item, on the user-interface thread.
void TNotifierThread::Deliver(uintptr_t wParam, intptr_t lParam)
{
    MessageBacklog.fetch_sub(1);
    std::unique_ptr<TPostedItem> post(reinterpret_cast<TPostedItem*>(lParam));
    auto* sender = reinterpret_cast<QObject*>(wParam);
    if (post->Exception) {
        MqReportException(post->Exception);
        return;
    }
    TNotificationQueueStatePtr queue = post->Proxy->GetQueue();
    try {
        // A queue that has gone took its notifier with it: the item is dropped unseen.
        if (!queue || queue->Alive.load()) {
            TMqThreadNotifyEvent callback = post->Proxy->GetCallback();
            if (callback)
                callback(sender, std::dynamic_pointer_cast<IMqNotifyParams>(post->Proxy));
        }
    } catch (...) {
        MqReportException(std::current_exception());
    }
    if (queue)
        queue->Outstanding.fetch_sub(1);
}

// A posted item that will never be delivered.
void TNotifierThread::Release(intptr_t lParam)
{
    MessageBacklog.fetch_sub(1);
    std::unique_ptr<TPostedItem> post(reinterpret_cast<TPostedItem*>(lParam));
    if (post->Proxy) {
        if (TNotificationQueueStatePtr queue = post->Proxy->GetQueue())
            queue->Outstanding.fetch_sub(1);
    }
}

// --- notifiers ---

TMqCustomNotifier::TMqCustomNotifier(QObject* Owner) : QObject(Owner) {}

TMqCustomNotifier::~TMqCustomNotifier()
{
    m_destroying = true;
    std::lock_guard lock(m_queuesLock);
    m_queues.FreeAll();
}

void TMqCustomNotifier::SetQueueDepth(int Value)
{
    m_queueDepth = static_cast<TMqNotifyQueueDepth>(std::clamp(Value, 1, 500));
}

void TMqCustomNotifier::SetQueueStrategy(TMqNotifyQueueStrategy Value)
{
    m_strategy = Value == qsDefault ? qsDispose : Value;
}

int TMqCustomNotifier::QueueCount() const
{
    std::lock_guard lock(m_queuesLock);
    return m_queues.Count();
}

TNotificationItemQueue* TMqCustomNotifier::QueueFor(TMqHostThread* Host)
{
    std::lock_guard lock(m_queuesLock);
    TNotificationItemQueue* queue = m_queues.Find(Host);
    if (!queue) {
        queue = new TNotificationItemQueue(Host->shared_from_this());
        m_queues.Put(Host, queue);
    }
    return queue;
}

void TMqCustomNotifier::DoNotify(QObject* Sender, const IMqNotifyParamsPtr& Params)
{
    TMqThreadNotifyEvent handler = OnNotify; // the handler may replace itself or free this notifier
    if (handler)
        handler(Sender, Params);
}

void TMqCustomNotifier::Notify(const TVarRecArray& Params, TMqNotifyQueueStrategy Strategy)
{
    Notify(this, QString(), Params, Strategy);
}

void TMqCustomNotifier::Notify(QObject* Sender, const QString& Name, const TVarRecArray& Params,
                               TMqNotifyQueueStrategy Strategy)
{
    if (!Sender)
        Log("Sender is nil");
    if (m_destroying.load())
        return;
    TNotifierThread* nt = GetNotifierThread();
    if (!nt)
        return; // the runtime has stopped for good
    if (Strategy == qsDefault)
        Strategy = QueueStrategy();
    TNotificationItemQueue* queue = QueueFor(CurrentHostThread());
    TNotificationQueueState& state = *queue->State();

    bool room = QueueDepth() > state.Outstanding.load();
    if (!room && Strategy == qsWait) {
        // The user-interface thread would wait for its own deliveries: it queues beyond the depth instead.
        if (!plat::IsUiThread()) {
            while (QueueDepth() <= state.Outstanding.load() && !m_destroying.load())
                AlertableSleep(1);
            if (m_destroying.load())
                return;
        }
        room = true;
    }
    if (room) {
        state.Outstanding.fetch_add(1);
    } else {
        TNotificationItem oldest;
        if (nt->DiscardOldest(queue, oldest))
            m_dropped.fetch_add(1); // one leaves, one comes: outstanding stays
        else
            state.Outstanding.fetch_add(1); // the oldest is already posted: grow beyond the depth
    }

    auto proxy = std::make_shared<TMqNotifyProxy>(Name, Params);
    proxy->SetQueue(queue->State());
    proxy->SetCallback([this](QObject* s, const IMqNotifyParamsPtr& p) { DoNotify(s, p); });
    TNotificationItem item;
    item.Sender = Sender;
    item.Proxy = std::move(proxy);
    item.Disposable = Strategy == qsDispose;
    nt->Push(queue, std::move(item));
}

void TMqCustomNotifier::PostResult(QObject* Sender, const IMqResultParamsPtr& Result,
                                   const TMqThreadNotifyEvent& Callback)
{
    if (m_destroying.load())
        return;
    TNotifierThread* nt = GetNotifierThread();
    auto proxy = std::dynamic_pointer_cast<IMqNotifyProxy>(Result);
    if (!nt || !proxy)
        return;
    TNotificationItemQueue* queue = QueueFor(CurrentHostThread());
    proxy->SetQueue(queue->State());
    proxy->SetCallback(Callback);
    queue->State()->Outstanding.fetch_add(1);
    TNotificationItem item;
    item.Sender = Sender;
    item.Proxy = std::move(proxy);
    item.Disposable = false;
    nt->Push(queue, std::move(item));
}

// --- start and stop ---

void MqNotifiersInitialize()
{
    TNotifierThread::Create();
}

void MqNotifiersFinalize()
{
    TNotifierThread::Destroy();
}
