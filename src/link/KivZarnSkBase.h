#pragma once
// The base of every socket worker: a periodic worker that also owns a signal
// client, a timer pool and a hidden window.
#include <memory>

#include "KivSig.h"
#include "KivThd.h"
#include "KivTimer.h"
#include "MessageWindow.h"

class TSckBase : public TThd {
public:
    // The worker's loop starts with the TThd part; it is not started a second time.
    explicit TSckBase(QObject* Owner = nullptr);
    // Teardown: frees the signal client, clears and frees the timer pool, releases the
    // hidden window, then stops and frees the worker. A link's own teardown runs first.
    ~TSckBase() override;

    virtual bool IsConnected();

    TmqsSignalClient* SignalClient() const { return m_signal.get(); }
    TTimerPool* TimerPool() const { return m_timerPool.get(); }
    plat::MessageWindow* Window() const { return m_window.get(); }

    // Nothing in the system posts it; the hidden window swallows it.
    static constexpr uint32_t WM_SWALLOWED = plat::WM_USER + 110;

private:
    std::unique_ptr<TmqsSignalClient> m_signal;
    std::unique_ptr<TTimerPool> m_timerPool;
    std::unique_ptr<plat::MessageWindow> m_window;
};
