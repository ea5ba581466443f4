#pragma once
// Stand-in for a hidden window with its own window procedure: a QObject on the
// thread that created it. Any thread may post (msg, wParam, lParam) to it; the
// handler runs later on the window's thread, in posting order. Posts still pending
// when the window goes are discarded and handed to the releaser, so payloads that
// travel in wParam/lParam are freed, never leaked or delivered to a dead window.
#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace plat {

constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_USER = 0x0400;

namespace detail {
struct WindowState;
}

class MessageWindow;

// A copyable reference that outlives the window safely: posting through it after
// the window is gone fails (returns false) and the caller keeps its payload.
class WindowRef {
public:
    WindowRef() = default;
    bool Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0) const;
    bool Alive() const;
    explicit operator bool() const { return Alive(); }

private:
    friend class MessageWindow;
    explicit WindowRef(std::shared_ptr<detail::WindowState> s) : m_state(std::move(s)) {}
    std::shared_ptr<detail::WindowState> m_state;
};

class MessageWindow : public QObject {
public:
    using Handler = std::function<void(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;

    explicit MessageWindow(Handler handler = {}, QObject* parent = nullptr);
    ~MessageWindow() override;

    void SetHandler(Handler handler);
    // Called (on the window's thread) for every post discarded without delivery.
    void SetReleaser(Handler releaser);

    // Thread-safe. Returns false when the window is already being destroyed.
    bool Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    WindowRef Ref() const;

    // A window timer: the handler receives WM_TIMER with wParam = id every `ms`.
    // Setting an existing id restarts it with the new period. Window thread only.
    void SetTimer(uintptr_t id, int ms);
    void KillTimer(uintptr_t id);
    bool HasTimer(uintptr_t id) const { return m_timers.count(id) != 0; }

    // Removes and releases the posts still pending for this window.
    void DiscardPending();

protected:
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam);

    std::shared_ptr<detail::WindowState> m_state;
    Handler m_handler;
    std::map<uintptr_t, int> m_timers; // id -> Qt timer id
};

// True on the thread that runs the application's event loop.
bool IsUiThread();

} // namespace plat
