#include "KivZarnSkBase.h"

TSckBase::TSckBase(QObject* Owner) : TThd(Owner)
{
    m_signal = std::make_unique<TmqsSignalClient>();
    m_signal->SetName(QStringLiteral("Signal"));
    m_signal->OnSignalChange = [](void*, const QString&, const QString&, int32_t, void*) {};
    m_timerPool = std::make_unique<TTimerPool>();
    // WM_USER+110 is swallowed; everything else gets the default handling, which is nothing here.
    m_window = std::make_unique<plat::MessageWindow>([](uint32_t msg, uintptr_t, intptr_t) {
        if (msg == WM_SWALLOWED)
            return;
    });
}

TSckBase::~TSckBase()
{
    m_signal.reset();
    m_timerPool->Clear();
    m_timerPool.reset();
    m_window.reset();
}

bool TSckBase::IsConnected()
{
    return false;
}
