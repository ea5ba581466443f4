#pragma once
// Threaded actions: a component that runs its OnExecute on a pool thread each time
// it is executed and then delivers OnAfterExecute on the user-interface thread.
// Pools own their worker host threads and cap how many run at once (the fanout);
// an action either has a private pool or, inside an action list, shares the pool of
// a named category.
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "MqNestedCtrls.h"
#include "MqNotifiers.h"
#include "MqThreads.h"

MQ_DECLARE_EXCEPTION(EMqThreadedAction, EMqException);
MQ_DECLARE_EXCEPTION(EMqThreadedActionCategoryDoesNotExist, EMqThreadedAction);
MQ_DECLARE_EXCEPTION(EMqThreadedActionCategoryAlreadyExists, EMqThreadedAction);

using TMqFanout = uint8_t; // 1 to 20

class TMqCustomThreadedActionList;
class TMqCategory;

// --- thread pools ---

class TMqCustomThreadPool : public IMqThreadGuest {
public:
    // Owner is the component that events name as their sender.
    explicit TMqCustomThreadPool(QObject* Owner = nullptr);
    ~TMqCustomThreadPool() override;
    TMqCustomThreadPool(const TMqCustomThreadPool&) = delete;
    TMqCustomThreadPool& operator=(const TMqCustomThreadPool&) = delete;

    QObject* Owner() const { return m_owner; }
    QString Name() const;
    void SetName(const QString& Value);

    TMqFanout Fanout() const { return m_fanout.load(); }
    void SetFanout(int Value); // kept within 1 .. 20
    int Active() const { return m_active.load(); }
    bool HasCapacity() const { return Fanout() - m_active.load() > 0; }

    // A free worker, locked for the caller; creates one while fewer than Fanout exist.
    bool AcquireThread(TMqHostThreadPtr& Host, const QString& Name);
    // Stops every worker; afterwards AcquireThread always fails.
    void ClearThreads();
    // Stops every worker but stays usable: new workers are made on demand.
    void ReleaseThreads();
    int ThreadCount() const;
    // How long stopping waits for each running worker before abandoning it (ms).
    void SetStopBound(int ms) { m_stopBound = ms; }

    // Guest side, called on the workers.
    bool Prolog() override;
    void Epilog() override;
    void Execute(const IMqParamsPtr& Work) override;
    // Routes an exception to Handler or OnException; unhandled, it is raised again on
    // the user-interface thread.
    void HandleException(std::exception_ptr E, const TMqThreadExceptionEvent& Handler);

    void SetOnProlog(TMqThreadEvent Value);
    void SetOnEpilog(TMqThreadEvent Value);
    void SetOnException(TMqThreadExceptionEvent Value);
    TMqThreadExceptionEvent OnException() const;

private:
    std::vector<TMqHostThreadPtr> TakeThreads();
    void StopThreads(std::vector<TMqHostThreadPtr> threads) const;

    std::atomic<int32_t> m_active{0};
    std::atomic<TMqFanout> m_fanout{1};
    bool m_cleared = false; // guarded by m_lock
    std::vector<TMqHostThreadPtr> m_threads;
    mutable std::recursive_mutex m_lock;
    mutable std::mutex m_eventLock;
    TMqThreadEvent m_onEpilog;
    TMqThreadExceptionEvent m_onException;
    TMqThreadEvent m_onProlog;
    QObject* m_owner;
    QString m_name;
    std::atomic<int> m_stopBound{5000};
};

class TMqThreadPool : public TMqCustomThreadPool {
public:
    using TMqCustomThreadPool::TMqCustomThreadPool;
};

// --- threaded actions ---

class TMqCustomThreadedAction : public QObject, public TMqCustomChild {
public:
    explicit TMqCustomThreadedAction(QObject* Owner = nullptr);
    ~TMqCustomThreadedAction() override;

    // Starts one execution on a pool thread with a copy of Params; the host thread
    // that took it, or none (disabled, no OnExecute, no capacity, no free thread).
    TMqHostThreadPtr Execute(const TVarRecArray& Params = {});
    bool CanExecute();
    // The pool the action runs on: its category's, or its private one (made on first use).
    TMqCustomThreadPool* ThreadPool();
    // Disables the action, clears OnNotify and stops the private pool's threads.
    void Shutdown();

    virtual bool CanExecuteOn(TMqHostThread* Host);
    bool Enabled() const { return m_enabled.load(); }
    virtual void SetEnabled(bool Value);

    QString Category() const;
    void SetCategory(const QString& Value);
    bool CategoryThreadPool() const;
    void SetCategoryThreadPool(bool Value);
    TMqFanout Fanout();
    void SetFanout(int Value);
    int Active() const { return m_active.load(); }
    double LastExecuted() const { return m_lastExecuted.load(); }
    TMqNotifyQueueDepth QueueDepth() const { return m_notifier->QueueDepth(); }
    void SetQueueDepth(int Value) { m_notifier->SetQueueDepth(Value); }
    TMqNotifyQueueStrategy QueueStrategy() const { return m_notifier->QueueStrategy(); }
    void SetQueueStrategy(TMqNotifyQueueStrategy Value) { m_notifier->SetQueueStrategy(Value); }
    TMqCustomThreadedActionList* ActionList() const;

    // Events; set from any thread, read where they run.
    TMqThreadNotifyEvent OnAfterExecute() const;
    void SetOnAfterExecute(TMqThreadNotifyEvent Value);
    TMqThreadExceptionEvent OnException() const;
    void SetOnException(TMqThreadExceptionEvent Value);
    TMqThreadExecuteEvent OnExecute() const;
    void SetOnExecute(TMqThreadExecuteEvent Value);
    TMqThreadNotifyEvent OnNotify() const;
    void SetOnNotify(TMqThreadNotifyEvent Value);

    // The internal notifier that carries OnAfterExecute and OnNotify.
    TMqNotifierEx* InternalNotifier() const { return m_notifier.get(); }

private:
    friend class TMqCustomThreadedActionList;
    friend class TMqCategory;
    void ExecuteDispatch(const IMqParamsPtr& Params);
    void AfterExecuteDispatch(TMqHostThread* Caller);
    void ExceptionDispatch(const std::exception& E, bool& Handled);
    TMqCategory* ResolveCategory();
    TMqCustomThreadPool* PrivatePool();
    void ClearCategoryCache();

    mutable std::recursive_mutex m_lock; // fields below and the private pool's creation
    QString m_category;
    TMqCategory* m_categoryCache = nullptr;
    bool m_categoryThreadPool = false;
    std::atomic<bool> m_enabled{true};
    std::atomic<int32_t> m_active{0};
    TMqFanout m_fanout = 1;
    std::atomic<double> m_lastExecuted{0};
    std::unique_ptr<TMqNotifierEx> m_notifier;
    TMqThreadNotifyEvent m_onAfterExecute;
    TMqThreadExceptionEvent m_onException;
    TMqThreadExecuteEvent m_onExecute;
    TMqThreadNotifyEvent m_onNotify;
    std::unique_ptr<TMqThreadPool> m_privatePool;
};

class TMqThreadedAction : public TMqCustomThreadedAction {
public:
    using TMqCustomThreadedAction::TMqCustomThreadedAction;
};

// --- categories and action lists ---

class TMqCategory {
public:
    QString Name() const { return m_name; }
    // Raises when another category has exactly this name.
    void SetName(const QString& Value);
    // The name, or "(No Category)" when it is empty.
    QString DisplayName() const;
    TMqThreadPool* ThreadPool() const { return m_pool.get(); }
    // Copies the name; each category keeps its own pool.
    TMqCategory& operator=(const TMqCategory& Other);
    ~TMqCategory();

private:
    friend class TMqCustomThreadedActionList;
    TMqCategory(TMqCustomThreadedActionList* List, const QString& Name);
    TMqCustomThreadedActionList* m_list;
    QString m_name;
    std::unique_ptr<TMqThreadPool> m_pool;
};

class TMqCustomThreadedActionList : public QObject, public TMqCustomParent {
public:
    explicit TMqCustomThreadedActionList(QObject* Owner = nullptr);
    ~TMqCustomThreadedActionList() override;

    // Category names compare equal when identical or equal ignoring ASCII case.
    TMqCategory* FindCategory(const QString& Name) const;
    TMqCategory* AddCategory();
    int CategoryCount() const { return static_cast<int>(m_categories.size()); }
    TMqCategory* Categories(int Index) const { return m_categories.at(static_cast<size_t>(Index)).get(); }
    void DeleteCategory(TMqCategory* Category);

    TMqCustomThreadedAction* Items(int Index) const;
    int Count() const { return ChildCount(); }
    bool Active() const { return m_active.load(); }
    void SetActive(bool Value);
    bool DoException(QObject* Sender, const std::exception& E);
    // Deactivates the list, clears OnNotify, shuts every action down and stops every category's threads.
    void Shutdown();

    QString Version() const { return QStringLiteral("1.2.2"); }
    void SetVersion(const QString&) {}

    void AddChild(TMqCustomChild* Child) override;
    void RemoveChild(TMqCustomChild* Child) override;

    TMqThreadExceptionEvent OnException() const;
    void SetOnException(TMqThreadExceptionEvent Value);
    TMqThreadNotifyEvent OnNotify() const;
    void SetOnNotify(TMqThreadNotifyEvent Value);
    TMqNotifierEx* InternalNotifier() const { return m_notifier.get(); }

private:
    friend class TMqCategory;
    friend class TMqCustomThreadedAction;
    bool NameTaken(const QString& Name, const TMqCategory* Except) const;

    std::vector<std::unique_ptr<TMqCategory>> m_categories;
    std::atomic<bool> m_active{true};
    mutable std::shared_mutex m_rwLock;
    std::unique_ptr<TMqNotifierEx> m_notifier;
    mutable std::mutex m_eventLock;
    TMqThreadExceptionEvent m_onException;
    TMqThreadNotifyEvent m_onNotify;
};

class TMqThreadedActionList : public TMqCustomThreadedActionList {
public:
    using TMqCustomThreadedActionList::TMqCustomThreadedActionList;
};
