#include "MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimerEvent>
#include <mutex>

#include "ExceptionHandler.h"

namespace plat {
namespace detail {
struct WindowState {
    std::mutex Lock;
    MessageWindow* Window = nullptr;
    MessageWindow::Handler Releaser;
};
} // namespace detail

namespace {
const QEvent::Type kPostedType = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessage : public QEvent {
public:
    PostedMessage(std::shared_ptr<detail::WindowState> state, uint32_t msg, uintptr_t w, intptr_t l)
        : QEvent(kPostedType), State(std::move(state)), Msg(msg), WParam(w), LParam(l)
    {
    }
    ~PostedMessage() override
    {
        // An event Qt drops undelivered (window destroyed, pending posts removed) still owns its payload.
        if (!Delivered) {
            MessageWindow::Handler releaser;
            {
                std::lock_guard lock(State->Lock);
                releaser = State->Releaser;
            }
            if (releaser) {
                try {
                    releaser(Msg, WParam, LParam);
                } catch (...) {
                }
            }
        }
    }
    std::shared_ptr<detail::WindowState> State;
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
    bool Delivered = false;
};

bool PostTo(const std::shared_ptr<detail::WindowState>& state, uint32_t msg, uintptr_t w, intptr_t l)
{
    if (!state)
        return false;
    std::lock_guard lock(state->Lock);
    if (!state->Window)
        return false;
    QCoreApplication::postEvent(state->Window, new PostedMessage(state, msg, w, l));
    return true;
}
} // namespace

bool WindowRef::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) const
{
    return PostTo(m_state, msg, wParam, lParam);
}

bool WindowRef::Alive() const
{
    if (!m_state)
        return false;
    std::lock_guard lock(m_state->Lock);
    return m_state->Window != nullptr;
}

MessageWindow::MessageWindow(Handler handler, QObject* parent)
    : QObject(parent), m_state(std::make_shared<detail::WindowState>()), m_handler(std::move(handler))
{
    m_state->Window = this;
}

MessageWindow::~MessageWindow()
{
    {
        std::lock_guard lock(m_state->Lock);
        m_state->Window = nullptr;
    }
    for (auto& [id, qtId] : m_timers)
        killTimer(qtId);
    m_timers.clear();
    DiscardPending();
}

void MessageWindow::SetHandler(Handler handler)
{
    m_handler = std::move(handler);
}

void MessageWindow::SetReleaser(Handler releaser)
{
    std::lock_guard lock(m_state->Lock);
    m_state->Releaser = std::move(releaser);
}

bool MessageWindow::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    return PostTo(m_state, msg, wParam, lParam);
}

WindowRef MessageWindow::Ref() const
{
    return WindowRef(m_state);
}

void MessageWindow::SetTimer(uintptr_t id, int ms)
{
    KillTimer(id);
    m_timers[id] = startTimer(ms, Qt::PreciseTimer);
}

void MessageWindow::KillTimer(uintptr_t id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    killTimer(it->second);
    m_timers.erase(it);
}

void MessageWindow::DiscardPending()
{
    QCoreApplication::removePostedEvents(this, kPostedType);
}

void MessageWindow::customEvent(QEvent* event)
{
    if (event->type() != kPostedType)
        return;
    auto* posted = static_cast<PostedMessage*>(event);
    posted->Delivered = true;
    Dispatch(posted->Msg, posted->WParam, posted->LParam);
}

void MessageWindow::timerEvent(QTimerEvent* event)
{
    for (auto& [id, qtId] : m_timers) {
        if (qtId == event->timerId()) {
            Dispatch(WM_TIMER, id, 0);
            return;
        }
    }
}

void MessageWindow::Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    Handler handler = m_handler; // the handler may replace itself or free the window
    if (!handler)
        return;
    // An exception must not unwind through Qt's event loop: it goes to the application's handler.
    try {
        handler(msg, wParam, lParam);
    } catch (const std::exception& e) {
        ReportException(e);
    } catch (...) {
        ReportException(QStringLiteral("Exception"), QStringLiteral("Unknown exception"));
    }
}

bool IsUiThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace plat
