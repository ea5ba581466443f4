#include "MqThreadedActions.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "Clock.h"

namespace {

// The exception behind E as a std::exception for handlers; anything else becomes a general one.
std::exception_ptr AsStdException(std::exception_ptr e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception&) {
        return e;
    } catch (...) {
        return std::make_exception_ptr(EMqException("Unknown exception"));
    }
}

bool SameCategoryName(const QString& a, const QString& b)
{
    return a == b || a.compare(b, Qt::CaseInsensitive) == 0;
}

// The characters a pool's name may carry.
QString PoolNameFor(const QString& categoryName)
{
    QString name;
    for (QChar c : categoryName) {
        const char16_t u = c.unicode();
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_')
            name += c;
    }
    return name + QStringLiteral("ThreadPool");
}

} // namespace

// ============================== thread pools ==============================

TMqCustomThreadPool::TMqCustomThreadPool(QObject* Owner) : m_owner(Owner) {}

TMqCustomThreadPool::~TMqCustomThreadPool()
{
    ClearThreads();
}

QString TMqCustomThreadPool::Name() const
{
    std::lock_guard lock(m_eventLock);
    return m_name;
}

void TMqCustomThreadPool::SetName(const QString& Value)
{
    std::lock_guard lock(m_eventLock);
    m_name = Value;
}

void TMqCustomThreadPool::SetFanout(int Value)
{
    m_fanout = static_cast<TMqFanout>(std::clamp(Value, 1, 20));
}

int TMqCustomThreadPool::ThreadCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_threads.size());
}

void TMqCustomThreadPool::SetOnProlog(TMqThreadEvent Value)
{
    std::lock_guard lock(m_eventLock);
    m_onProlog = std::move(Value);
}

void TMqCustomThreadPool::SetOnEpilog(TMqThreadEvent Value)
{
    std::lock_guard lock(m_eventLock);
    m_onEpilog = std::move(Value);
}

void TMqCustomThreadPool::SetOnException(TMqThreadExceptionEvent Value)
{
    std::lock_guard lock(m_eventLock);
    m_onException = std::move(Value);
}

TMqThreadExceptionEvent TMqCustomThreadPool::OnException() const
{
    std::lock_guard lock(m_eventLock);
    return m_onException;
}

void TMqCustomThreadPool::StopThreads(std::vector<TMqHostThreadPtr> threads) const
{
    for (auto& host : threads) {
        host->SetStopBound(m_stopBound.load());
        host->Stop();
    }
}

std::vector<TMqHostThreadPtr> TMqCustomThreadPool::TakeThreads()
{
    std::vector<TMqHostThreadPtr> threads;
    threads.swap(m_threads);
    return threads;
}

void TMqCustomThreadPool::ClearThreads()
{
    std::lock_guard lock(m_lock);
    m_cleared = true;
    StopThreads(TakeThreads());
}

void TMqCustomThreadPool::ReleaseThreads()
{
    std::lock_guard lock(m_lock);
    StopThreads(TakeThreads());
}

bool TMqCustomThreadPool::AcquireThread(TMqHostThreadPtr& Host, const QString& Name)
{
    Host.reset();
    if (!HasCapacity())
        return false;
    std::lock_guard lock(m_lock);
    if (m_cleared)
        return false;

    std::vector<TMqHostThreadPtr> discarded;
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if ((*it)->State() & hsUnusable) {
            discarded.push_back(std::move(*it));
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
    // Fanout was lowered: idle workers beyond it go. A walk that finds none idle ends the trimming.
    while (static_cast<int>(m_threads.size()) > Fanout()) {
        bool removed = false;
        for (auto it = m_threads.begin();
             it != m_threads.end() && static_cast<int>(m_threads.size()) > Fanout();) {
            if ((*it)->TryLock()) {
                (*it)->Unlock();
                discarded.push_back(std::move(*it));
                it = m_threads.erase(it);
                removed = true;
            } else {
                ++it;
            }
        }
        if (!removed)
            break;
    }
    StopThreads(std::move(discarded));

    for (auto& host : m_threads) {
        if (host->TryLock()) {
            Host = host;
            return true;
        }
    }
    if (static_cast<int>(m_threads.size()) < Fanout()) {
        TMqHostThreadPtr host = TMqHostThread::CreateWorker(this, Name);
        m_threads.push_back(host);
        // A new worker holds its lock for a moment while it starts; it is free as soon
        // as it reaches its poll, so wait for that rather than fail.
        while (!host->TryLock()) {
            if (host->State() & (hsUnusable | hsFinished))
                return false;
            std::this_thread::yield();
        }
        Host = host;
        return true;
    }
    return false;
}

bool TMqCustomThreadPool::Prolog()
{
    TMqThreadEvent onProlog;
    {
        std::lock_guard lock(m_eventLock);
        onProlog = m_onProlog;
    }
    if (!onProlog)
        return true;
    try {
        onProlog(m_owner);
    } catch (...) {
        HandleException(std::current_exception(), {});
        return false;
    }
    return true;
}

void TMqCustomThreadPool::Epilog()
{
    TMqThreadEvent onEpilog;
    {
        std::lock_guard lock(m_eventLock);
        onEpilog = m_onEpilog;
    }
    if (!onEpilog)
        return;
    try {
        try {
            AlertableSleep(0); // APC calls still queued run first
        } catch (const EMqThreadTerminated&) {
        }
        onEpilog(m_owner);
    } catch (...) {
        HandleException(std::current_exception(), {});
    }
}

void TMqCustomThreadPool::Execute(const IMqParamsPtr& Work)
{
    auto proxy = std::dynamic_pointer_cast<IMqExecuteProxy>(Work);
    if (!proxy)
        return;
    TMqHostExecuteMethod onExecute = proxy->GetOnExecute();
    if (!onExecute)
        return;
    m_active.fetch_add(1);
    try {
        onExecute(proxy->GetHost().get(), Work);
        // A worker given up while it ran must not touch this pool, which may be gone.
        if (MqCurrentThreadAbandoned())
            return;
        if (TMqAfterExecuteMethod after = proxy->GetOnAfterExecute())
            after(proxy->GetCaller().get());
    } catch (const EMqThreadTerminated&) {
        if (!MqCurrentThreadAbandoned())
            m_active.fetch_sub(1);
        throw;
    } catch (...) {
        if (MqCurrentThreadAbandoned())
            return;
        std::exception_ptr e = std::current_exception();
        if (CurrentHostThread()->HasResult()) {
            if (TMqHostThreadPtr caller = proxy->GetCaller())
                caller->QueueAPC(MqRaiseCalleeErrorAPC());
        }
        HandleException(e, proxy->GetOnException());
    }
    m_active.fetch_sub(1);
}

void TMqCustomThreadPool::HandleException(std::exception_ptr E, const TMqThreadExceptionEvent& Handler)
{
    E = AsStdException(E);
    bool handled = false;
    try {
        try {
            std::rethrow_exception(E);
        } catch (const std::exception& ex) {
            if (Handler) {
                Handler(nullptr, ex, handled); // the handler's own object stands in as the sender
            } else if (TMqThreadExceptionEvent onException = OnException()) {
                onException(m_owner, ex, handled);
            }
        }
    } catch (...) {
        // An exception from a handler is swallowed.
    }
    if (!handled) {
        if (TNotifierThread* nt = GetNotifierThread())
            nt->PostException(E);
    }
}

// ============================== threaded actions ==============================

TMqCustomThreadedAction::TMqCustomThreadedAction(QObject* Owner)
    : QObject(Owner), m_notifier(std::make_unique<TMqNotifierEx>())
{
    m_notifier->SetQueueStrategy(qsWait);
    m_notifier->OnNotify = [this](QObject* sender, const IMqNotifyParamsPtr& params) {
        if (TMqThreadNotifyEvent handler = OnNotify())
            handler(sender, params);
    };
}

TMqCustomThreadedAction::~TMqCustomThreadedAction()
{
    SetParent(nullptr);
    Shutdown();
    m_notifier.reset();
}

TMqCustomThreadedActionList* TMqCustomThreadedAction::ActionList() const
{
    return dynamic_cast<TMqCustomThreadedActionList*>(Parent());
}

TMqThreadNotifyEvent TMqCustomThreadedAction::OnAfterExecute() const
{
    std::lock_guard lock(m_lock);
    return m_onAfterExecute;
}

void TMqCustomThreadedAction::SetOnAfterExecute(TMqThreadNotifyEvent Value)
{
    std::lock_guard lock(m_lock);
    m_onAfterExecute = std::move(Value);
}

TMqThreadExceptionEvent TMqCustomThreadedAction::OnException() const
{
    std::lock_guard lock(m_lock);
    return m_onException;
}

void TMqCustomThreadedAction::SetOnException(TMqThreadExceptionEvent Value)
{
    std::lock_guard lock(m_lock);
    m_onException = Value;
    if (m_privatePool)
        m_privatePool->SetOnException(std::move(Value));
}

TMqThreadExecuteEvent TMqCustomThreadedAction::OnExecute() const
{
    std::lock_guard lock(m_lock);
    return m_onExecute;
}

void TMqCustomThreadedAction::SetOnExecute(TMqThreadExecuteEvent Value)
{
    std::lock_guard lock(m_lock);
    m_onExecute = std::move(Value);
}

TMqThreadNotifyEvent TMqCustomThreadedAction::OnNotify() const
{
    std::lock_guard lock(m_lock);
    return m_onNotify;
}

void TMqCustomThreadedAction::SetOnNotify(TMqThreadNotifyEvent Value)
{
    std::lock_guard lock(m_lock);
    m_onNotify = std::move(Value);
}

void TMqCustomThreadedAction::SetEnabled(bool Value)
{
    m_enabled = Value;
}

bool TMqCustomThreadedAction::CanExecuteOn(TMqHostThread*)
{
    return true;
}

QString TMqCustomThreadedAction::Category() const
{
    std::lock_guard lock(m_lock);
    return m_category;
}

void TMqCustomThreadedAction::ClearCategoryCache()
{
    std::lock_guard lock(m_lock);
    m_categoryCache = nullptr;
}

void TMqCustomThreadedAction::SetCategory(const QString& Value)
{
    const QString old = Category();
    if (SameCategoryName(old, Value))
        return;
    ClearCategoryCache();
    TMqCustomThreadedActionList* list = ActionList();
    if (!list) {
        std::lock_guard lock(m_lock);
        m_category = Value;
        return;
    }
    list->FindCategory(Value); // raises when there is none; the category stays as it was
    // The old category's threads go when no other action of the list still uses it.
    bool stillUsed = false;
    for (int i = 0; i < list->Count(); ++i) {
        TMqCustomThreadedAction* other = list->Items(i);
        if (other != this && SameCategoryName(other->Category(), old))
            stillUsed = true;
    }
    if (!stillUsed) {
        try {
            if (TMqCategory* oldCategory = list->FindCategory(old))
                oldCategory->ThreadPool()->ReleaseThreads();
        } catch (const EMqThreadedActionCategoryDoesNotExist&) {
        }
    }
    {
        std::lock_guard lock(m_lock);
        m_category = Value;
    }
    list->Changed();
}

bool TMqCustomThreadedAction::CategoryThreadPool() const
{
    std::lock_guard lock(m_lock);
    return m_categoryThreadPool && ActionList() != nullptr;
}

void TMqCustomThreadedAction::SetCategoryThreadPool(bool Value)
{
    std::unique_ptr<TMqThreadPool> dropped;
    {
        std::lock_guard lock(m_lock);
        m_categoryThreadPool = Value;
        if (Value && ActionList())
            dropped = std::move(m_privatePool);
    }
    if (dropped)
        dropped->ClearThreads();
}

TMqFanout TMqCustomThreadedAction::Fanout()
{
    std::lock_guard lock(m_lock);
    if (CategoryThreadPool())
        return m_fanout;
    return PrivatePool()->Fanout();
}

void TMqCustomThreadedAction::SetFanout(int Value)
{
    std::lock_guard lock(m_lock);
    m_fanout = static_cast<TMqFanout>(std::clamp(Value, 1, 20));
    if (!CategoryThreadPool())
        PrivatePool()->SetFanout(m_fanout);
}

TMqCategory* TMqCustomThreadedAction::ResolveCategory()
{
    std::lock_guard lock(m_lock);
    if (!m_categoryCache) {
        if (TMqCustomThreadedActionList* list = ActionList())
            m_categoryCache = list->FindCategory(m_category);
    }
    return m_categoryCache;
}

TMqCustomThreadPool* TMqCustomThreadedAction::PrivatePool()
{
    std::lock_guard lock(m_lock);
    if (!m_privatePool) {
        m_privatePool = std::make_unique<TMqThreadPool>(this);
        m_privatePool->SetName(objectName() + QStringLiteral("ThreadPool"));
        m_privatePool->SetFanout(m_fanout);
        m_privatePool->SetOnException(m_onException);
    }
    return m_privatePool.get();
}

TMqCustomThreadPool* TMqCustomThreadedAction::ThreadPool()
{
    if (CategoryThreadPool()) {
        TMqCategory* category = ResolveCategory();
        return category ? category->ThreadPool() : nullptr;
    }
    return PrivatePool();
}

bool TMqCustomThreadedAction::CanExecute()
{
    if ((Fanout() & 0x7F) <= m_active.load())
        return false;
    if (CategoryThreadPool()) {
        TMqCustomThreadPool* pool = ThreadPool();
        return pool && pool->HasCapacity();
    }
    return true;
}

TMqHostThreadPtr TMqCustomThreadedAction::Execute(const TVarRecArray& Params)
{
    TMqCustomThreadedActionList* list = ActionList();
    if ((list && !list->Active()) || !Enabled() || !CanExecute())
        return nullptr;
    if (!OnExecute())
        return nullptr;
    TMqCustomThreadPool* pool = ThreadPool();
    if (!pool)
        return nullptr;
    QString name;
    if (CategoryThreadPool()) {
        name = Category();
        if (name.isEmpty())
            name = QStringLiteral("(Default)");
    } else {
        name = objectName();
    }
    TMqHostThreadPtr host;
    if (!pool->AcquireThread(host, name))
        return nullptr;
    TMqHostThreadPtr result;
    try {
        if (CanExecuteOn(host.get())) {
            m_lastExecuted = plat::Clock::UtcNowDays();
            host->Execute(
                this, [this](TMqHostThread* caller) { AfterExecuteDispatch(caller); },
                [this](TMqHostThread*, const IMqParamsPtr& params) { ExecuteDispatch(params); },
                [this](QObject*, const std::exception& e, bool& handled) { ExceptionDispatch(e, handled); },
                Params);
            result = host;
        }
    } catch (...) {
        host->Unlock();
        throw;
    }
    host->Unlock();
    return result;
}

void TMqCustomThreadedAction::ExecuteDispatch(const IMqParamsPtr& Params)
{
    m_lastExecuted = plat::Clock::UtcNowDays();
    m_active.fetch_add(1);
    try {
        if (TMqThreadExecuteEvent handler = OnExecute())
            handler(this, Params);
    } catch (...) {
        if (!MqCurrentThreadAbandoned()) {
            m_lastExecuted = plat::Clock::UtcNowDays();
            m_active.fetch_sub(1);
        }
        throw;
    }
    if (MqCurrentThreadAbandoned())
        return; // this action may be gone
    m_lastExecuted = plat::Clock::UtcNowDays();
    m_active.fetch_sub(1);
}

void TMqCustomThreadedAction::AfterExecuteDispatch(TMqHostThread* Caller)
{
    TMqHostThread* self = CurrentHostThread();
    auto signal = [&] {
        if (self->HasResult())
            self->GetResult()->Signal(Caller);
    };
    try {
        if (TMqThreadNotifyEvent after = OnAfterExecute())
            m_notifier->PostResult(this, self->GetResult(), after);
    } catch (...) {
        signal();
        throw;
    }
    signal();
}

void TMqCustomThreadedAction::ExceptionDispatch(const std::exception& E, bool& Handled)
{
    if (TMqThreadExceptionEvent handler = OnException())
        handler(this, E, Handled);
    if (!Handled) {
        if (TMqCustomThreadedActionList* list = ActionList())
            Handled = list->DoException(this, E);
    }
}

void TMqCustomThreadedAction::Shutdown()
{
    SetEnabled(false);
    SetOnNotify({});
    std::unique_ptr<TMqThreadPool> pool;
    {
        std::lock_guard lock(m_lock);
        pool = std::move(m_privatePool);
    }
    // Outside the lock, as a worker may be reading an event; the workers stop before the
    // pool's destruction begins, since they call into it.
    if (pool)
        pool->ClearThreads();
    pool.reset();
}

// ============================== categories ==============================

TMqCategory::TMqCategory(TMqCustomThreadedActionList* List, const QString& Name)
    : m_list(List), m_name(Name), m_pool(std::make_unique<TMqThreadPool>(List))
{
    m_pool->SetOnException(List->OnException());
    if (List->CategoryCount() == 0 || !Name.isEmpty())
        m_pool->SetName(Name + QStringLiteral("ThreadPool"));
}

TMqCategory::~TMqCategory()
{
    // Actions of this category are left without one.
    for (int i = 0; i < m_list->Count(); ++i) {
        TMqCustomThreadedAction* action = m_list->Items(i);
        std::lock_guard lock(action->m_lock);
        if (action->m_category == m_name)
            action->m_category.clear();
        if (action->m_categoryCache == this)
            action->m_categoryCache = nullptr;
    }
    m_pool->ClearThreads();
    m_pool.reset();
}

void TMqCategory::SetName(const QString& Value)
{
    if (m_list->NameTaken(Value, this))
        throw EMqThreadedActionCategoryAlreadyExists(QString("Category [%1] already exists").arg(Value));
    m_name = Value;
    m_pool->SetName(PoolNameFor(Value));
    m_list->Changed();
}

QString TMqCategory::DisplayName() const
{
    return m_name.isEmpty() ? QStringLiteral("(No Category)") : m_name;
}

TMqCategory& TMqCategory::operator=(const TMqCategory& Other)
{
    if (this != &Other)
        SetName(Other.m_name);
    return *this;
}

// ============================== action lists ==============================

TMqCustomThreadedActionList::TMqCustomThreadedActionList(QObject* Owner)
    : QObject(Owner), m_notifier(std::make_unique<TMqNotifierEx>())
{
    m_notifier->SetQueueStrategy(qsWait);
    m_notifier->OnNotify = [this](QObject* sender, const IMqNotifyParamsPtr& params) {
        if (TMqThreadNotifyEvent handler = OnNotify())
            handler(sender, params);
    };
    AddCategory()->SetName(QString());
}

TMqCustomThreadedActionList::~TMqCustomThreadedActionList()
{
    Shutdown();
    // The actions go first, while the categories they name still exist.
    DestroyChildren();
    SetOnNotify({});
    m_categories.clear();
    m_notifier.reset();
}

bool TMqCustomThreadedActionList::NameTaken(const QString& Name, const TMqCategory* Except) const
{
    for (const auto& c : m_categories)
        if (c.get() != Except && c->m_name == Name)
            return true;
    return false;
}

TMqCategory* TMqCustomThreadedActionList::AddCategory()
{
    QString name;
    for (int n = 1;; ++n) {
        name = QString("Category%1").arg(n);
        if (!NameTaken(name, nullptr))
            break;
    }
    m_categories.push_back(std::unique_ptr<TMqCategory>(new TMqCategory(this, name)));
    return m_categories.back().get();
}

void TMqCustomThreadedActionList::DeleteCategory(TMqCategory* Category)
{
    auto it = std::find_if(m_categories.begin(), m_categories.end(),
                           [&](const auto& c) { return c.get() == Category; });
    if (it != m_categories.end())
        m_categories.erase(it);
}

TMqCategory* TMqCustomThreadedActionList::FindCategory(const QString& Name) const
{
    for (const auto& c : m_categories)
        if (SameCategoryName(c->m_name, Name))
            return c.get();
    throw EMqThreadedActionCategoryDoesNotExist(QString("Category [%1] does not exist").arg(Name));
}

TMqCustomThreadedAction* TMqCustomThreadedActionList::Items(int Index) const
{
    return static_cast<TMqCustomThreadedAction*>(Children(Index));
}

void TMqCustomThreadedActionList::SetActive(bool Value)
{
    if (m_active.load() == Value)
        return;
    std::unique_lock lock(m_rwLock);
    m_active = Value;
}

bool TMqCustomThreadedActionList::DoException(QObject* Sender, const std::exception& E)
{
    bool handled = false;
    if (TMqThreadExceptionEvent handler = OnException())
        handler(Sender, E, handled);
    return handled;
}

void TMqCustomThreadedActionList::Shutdown()
{
    SetActive(false);
    SetOnNotify({});
    for (int i = 0; i < Count(); ++i)
        Items(i)->Shutdown();
    for (const auto& c : m_categories)
        c->ThreadPool()->ClearThreads();
}

void TMqCustomThreadedActionList::AddChild(TMqCustomChild* Child)
{
    auto* action = dynamic_cast<TMqCustomThreadedAction*>(Child);
    if (action)
        FindCategory(action->Category()); // an action naming no category of this list is refused
    std::unique_lock lock(m_rwLock);
    TMqCustomParent::AddChild(Child);
    if (action)
        action->ClearCategoryCache();
}

void TMqCustomThreadedActionList::RemoveChild(TMqCustomChild* Child)
{
    std::unique_lock lock(m_rwLock);
    TMqCustomParent::RemoveChild(Child);
    if (auto* action = dynamic_cast<TMqCustomThreadedAction*>(Child))
        action->ClearCategoryCache();
}

TMqThreadExceptionEvent TMqCustomThreadedActionList::OnException() const
{
    std::lock_guard lock(m_eventLock);
    return m_onException;
}

void TMqCustomThreadedActionList::SetOnException(TMqThreadExceptionEvent Value)
{
    std::lock_guard lock(m_eventLock);
    m_onException = std::move(Value);
}

TMqThreadNotifyEvent TMqCustomThreadedActionList::OnNotify() const
{
    std::lock_guard lock(m_eventLock);
    return m_onNotify;
}

void TMqCustomThreadedActionList::SetOnNotify(TMqThreadNotifyEvent Value)
{
    std::lock_guard lock(m_eventLock);
    m_onNotify = std::move(Value);
}
