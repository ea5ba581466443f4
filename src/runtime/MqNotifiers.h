#pragma once
// Notifiers: any thread hands a named argument list to the user-interface thread,
// where the notifier's OnNotify receives it. Every producing thread has its own
// bounded queue in each notifier; one notifier thread sweeps all queues every 10 ms
// and posts their items, one window message each, to a window on the
// user-interface thread. Results of threaded actions and unhandled exceptions of
// workers travel the same way.
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "MessageWindow.h"
#include "MqQueue.h"
#include "MqThreads.h"

enum TMqNotifyQueueStrategy : uint8_t { qsDispose = 0, qsWait = 1, qsDefault = 2 };
using TMqNotifyQueueDepth = uint16_t; // 1 to 500

// The message that carries one item to the user-interface thread.
constexpr uint32_t WM_MQ_NOTIFY = plat::WM_USER + 0x1000;

// What items in flight still reach after their queue has gone: the outstanding count,
// and whether the queue (and so its notifier) is still alive.
class TNotificationQueueState {
public:
    std::atomic<int32_t> Outstanding{0};
    std::atomic<bool> Alive{true};
};

struct TNotificationItem {
    QObject* Sender = nullptr;
    IMqNotifyProxyPtr Proxy;
    bool Disposable = false;      // may be discarded to make room
    std::exception_ptr Exception; // items of the exception queue carry this instead of a proxy
};

class TNotificationItemQueue : public TMqQueue<TNotificationItem> {
public:
    // Registers with the notifier thread (the exception queue registers itself first).
    // The queue keeps its producer alive, so that no later thread can take over its key.
    explicit TNotificationItemQueue(TMqHostThreadPtr Producer);
    ~TNotificationItemQueue() override;
    const TNotificationQueueStatePtr& State() const { return m_state; }
    int32_t Outstanding() const { return m_state->Outstanding.load(); }

private:
    friend class TNotifierThread;
    struct TUnregistered {};
    explicit TNotificationItemQueue(TUnregistered);
    TNotificationQueueStatePtr m_state;
    TMqHostThreadPtr m_producer;
};

// Unit-wide counters.
extern std::atomic<int32_t> MessageBacklog;             // posted, not yet taken by the window
extern std::atomic<int32_t> NotificationItemQueueCount; // queues alive

class TNotifierThread {
public:
    ~TNotifierThread();
    TNotifierThread(const TNotifierThread&) = delete;
    TNotifierThread& operator=(const TNotifierThread&) = delete;

    void AddQueue(TNotificationItemQueue* Queue);
    // Unregisters the queue after releasing every item still in its ring.
    void RemoveQueue(TNotificationItemQueue* Queue);
    void Push(TNotificationItemQueue* Queue, TNotificationItem Item);
    // Removes the head item into Item when it is disposable.
    bool DiscardOldest(TNotificationItemQueue* Queue, TNotificationItem& Item);
    // Raised again on the user-interface thread and reported by the application's handler.
    void PostException(std::exception_ptr E);

    uint32_t LoopCount() const { return m_loopCount.load(); }
    int QueueCount() const;
    // For tests: stop the thread's sweeps and drive them with Sweep instead.
    void SetPaused(bool Paused) { m_paused = Paused; }
    // Takes every waiting item, producers in turn, and posts it to the window.
    void Sweep();

    static TNotifierThread* Instance();
    static void Create();
    static void Destroy();

private:
    TNotifierThread();
    void ThreadLoop();
    bool NextItem(TNotificationItem& Item);
    static void Deliver(uintptr_t wParam, intptr_t lParam);
    static void Release(intptr_t lParam);

    mutable std::mutex m_lock; // the queue list and every queue's ring
    std::vector<TNotificationItemQueue*> m_queues;
    std::unique_ptr<plat::MessageWindow> m_window;
    plat::WindowRef m_windowRef;
    int m_pollInterval = 10;
    size_t m_nextIndex = 0;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_terminate{false};
    std::atomic<bool> m_paused{false};
    std::mutex m_sleepLock;
    std::condition_variable m_sleepSignal;
    std::thread m_thread;
    std::atomic<uint32_t> m_loopCount{0};
    TNotificationItemQueue* m_exceptionQueue = nullptr;
};

// The notifier thread, starting the runtime when needed (null once it has stopped for good).
TNotifierThread* GetNotifierThread();

class TMqCustomNotifier : public QObject {
public:
    explicit TMqCustomNotifier(QObject* Owner = nullptr);
    ~TMqCustomNotifier() override;

    void Notify(QObject* Sender, const QString& Name, const TVarRecArray& Params,
                TMqNotifyQueueStrategy Strategy);
    // Sender = this notifier, no name.
    void Notify(const TVarRecArray& Params, TMqNotifyQueueStrategy Strategy);
    // Delivers a threaded action's result to Callback; results are never dropped.
    void PostResult(QObject* Sender, const IMqResultParamsPtr& Result, const TMqThreadNotifyEvent& Callback);
    // The producing thread's queue, created on first use.
    TNotificationItemQueue* QueueFor(TMqHostThread* Host);
    // The callback notifications carry: calls OnNotify (user-interface thread).
    void DoNotify(QObject* Sender, const IMqNotifyParamsPtr& Params);

    TMqNotifyQueueDepth QueueDepth() const { return m_queueDepth.load(); }
    void SetQueueDepth(int Value); // kept within 1 .. 500
    TMqNotifyQueueStrategy QueueStrategy() const
    {
        return static_cast<TMqNotifyQueueStrategy>(m_strategy.load());
    }
    void SetQueueStrategy(TMqNotifyQueueStrategy Value); // qsDefault stores qsDispose
    int32_t Dropped() const { return m_dropped.load(); }
    int QueueCount() const;

    TMqThreadNotifyEvent OnNotify;

private:
    std::atomic<bool> m_destroying{false};
    mutable std::mutex m_queuesLock;
    TMqIndexedObjectList<TMqHostThread, TNotificationItemQueue> m_queues;
    std::atomic<TMqNotifyQueueDepth> m_queueDepth{10};
    std::atomic<uint8_t> m_strategy{qsDispose};
    std::atomic<int32_t> m_dropped{0};
};

class TMqNotifier : public TMqCustomNotifier {
public:
    using TMqCustomNotifier::TMqCustomNotifier;
};

class TMqNotifierEx : public TMqCustomNotifier {
public:
    using TMqCustomNotifier::TMqCustomNotifier;
};

// The notifier-thread part of the runtime's start and stop.
void MqNotifiersInitialize();
void MqNotifiersFinalize();
