#include "KivZarnClSk.h"

#include "MessageWindow.h"

TZarnSckObj::TZarnSckObj(QObject* owner, TZarnLinkNotifyFn notify, int waitTicks)
    : TSckBase(nullptr), m_owner(owner), m_notify(std::move(notify)), m_waitTicks(waitTicks)
{
    m_lastError.clear();
    m_linkState = lsClosed;
    SetAddress(QStringLiteral("127.0.0.1"));
    m_tickCount = 0;
    m_linkState = lsNotRunning;
    {
        std::lock_guard lock(m_hostLock);
        m_currentHost = m_requestedHost;
        m_requestedPort = m_currentPort = Port;
    }
    m_lastNotified = 0;

    m_window = std::make_unique<plat::MessageWindow>(
        [this](uint32_t msg, uintptr_t w, intptr_t l) { HiddenWndProc(msg, w, l); });
    m_rx.SetConnectedFn([this] { return IsLinkUp(); });

    SetInterval(100);
    SetOnTick([this](QObject*, const IMqParamsPtr&) { StateMachineTick(); });
    SetOnWorkerNotify([this](QObject*, const IMqNotifyParamsPtr& params) {
        if (m_notify && params)
            m_notify(params->Param(0).AsInteger(), params->Param(1).AsString());
    });
}

TZarnSckObj::~TZarnSckObj()
{
    Teardown();
}

void TZarnSckObj::Teardown()
{
    if (m_client) {
        m_linkState = lsNotRunning;
        m_client->DetachEvents();
        Open(false);
    }
    SetOnTick(nullptr);
    SetOnWorkerNotify(nullptr);
    {
        // A tick already under way may still be using the client: wait for it, and keep later ones out.
        std::lock_guard lock(m_tickLock);
        m_ticking = false;
    }
    // The worker may hold a copy of the tick handler it is about to call: stop its loop now,
    // while this object's members still exist, rather than in the base class's teardown.
    StopHandler();
    m_rx.BlockQueue().Clear();
    m_rx.ParsedQueue().Clear();
    m_rx.DeliveryQueue().Clear();
    m_window.reset(); // pending fill/classify posts go with it
    m_client.reset();
}

void TZarnSckObj::CreateClient()
{
    m_client = std::make_unique<TcpClient>();
    m_client->SetKeepAlive(true);
    m_client->SetOnStatus([this](TcpClient::Status s) { OnClientStatus(s); });
    m_client->SetOnError([this](const QString& text) { OnClientError(text); });
    m_linkState = lsDisconnected;
}

void TZarnSckObj::SetAddress(const QString& text)
{
    std::lock_guard lock(m_hostLock);
    if (text == m_address)
        return;
    m_address = text;
    m_requestedHost = text.left(MaxHostLength);
}

QString TZarnSckObj::GetAddress() const
{
    return Locked(m_address);
}

QString TZarnSckObj::LastError() const
{
    return Locked(m_lastError);
}

QString TZarnSckObj::StatusText() const
{
    return Locked(m_statusText);
}

QString TZarnSckObj::CurrentHost() const
{
    return Locked(m_currentHost);
}

QString TZarnSckObj::Locked(const QString& field) const
{
    std::lock_guard lock(m_hostLock);
    return field;
}

void TZarnSckObj::Open(bool open)
{
    if (!m_client)
        return;
    if (open) {
        if (m_openRequested)
            return;
        m_client->ClearReceiveStream();
        QString target;
        {
            std::lock_guard lock(m_hostLock);
            target = m_currentHost + QLatin1Char(':') + QString::number(m_currentPort);
        }
        try {
            m_client->Connect(target);
            m_openRequested = true;
        } catch (...) {
        }
    } else if (m_openRequested.exchange(false)) {
        // Also gives up an attempt still under way, so the next one starts clean.
        try {
            m_client->Disconnect();
        } catch (...) {
        }
    }
}

bool TZarnSckObj::IsConnected()
{
    try {
        return m_client && m_client->IsOpen() && m_linkState.load() == lsConnected;
    } catch (...) {
        return false;
    }
}

int TZarnSckObj::SendBlock(const uint8_t* bytes, int count)
{
    return m_client ? m_client->SendBytes(bytes, count) : -1;
}

int TZarnSckObj::SendText(const QByteArray& text)
{
    return m_client ? m_client->SendText(text) : -1;
}

void TZarnSckObj::RequestShutdown()
{
    if (m_linkState.load() == lsConnected) {
        m_linkState = lsCloseRequested;
        if (m_client)
            m_client->Disconnect();
    }
    SetOnWorkerNotify(nullptr);
    SetOnTick(nullptr);
}

void TZarnSckObj::StateMachineTick()
{
    std::lock_guard lock(m_tickLock);
    if (!m_ticking)
        return;
    try {
        if (m_linkState.load() != 0 && m_client)
            m_client->DeliverProgress();
        switch (m_linkState.load()) {
        case lsCloseRequested:
            Open(false);
            m_linkState = lsClosed;
            break;
        case lsDisconnected:
            m_tickCount = 0;
            if (m_client)
                m_linkState = lsWaiting;
            break;
        case lsWaiting: {
            {
                std::lock_guard hl(m_hostLock);
                if (m_requestedHost != m_currentHost || m_requestedPort != m_currentPort) {
                    m_currentHost = m_requestedHost;
                    m_currentPort = m_requestedPort;
                }
            }
            if (++m_tickCount > m_waitTicks) {
                m_tickCount = 0;
                m_linkState = lsConnecting;
                Open(true);
            }
            break;
        }
        case lsConnecting:
            if (++m_tickCount > m_waitTicks) {
                Open(false);
                m_linkState = lsDisconnected;
            }
            break;
        case lsConnected: {
            bool changed = false;
            {
                std::lock_guard hl(m_hostLock);
                if (m_requestedHost != m_currentHost || m_requestedPort != m_currentPort) {
                    m_currentHost = m_requestedHost;
                    m_currentPort = m_requestedPort;
                    changed = true;
                }
            }
            if (changed)
                m_linkState = lsDisconnected;
            break;
        }
        default:
            break;
        }
    } catch (...) {
        // The link keeps ticking whatever one tick ran into.
    }
}

void TZarnSckObj::OnClientStatus(TcpClient::Status status)
{
    switch (status) {
    case TcpClient::Status::Connect: {
        m_client->SetSendBufferSize(16384);
        m_client->ClearReceiveStream();
        m_tickCount = 0;
        QString text;
        {
            std::lock_guard lock(m_hostLock);
            m_statusText = (QStringLiteral("Connected to ") + m_currentHost).left(MaxHostLength);
            text = m_statusText;
        }
        m_lastNotified = 1;
        PostNotification(1, text);
        m_linkState = lsConnected;
        break;
    }
    case TcpClient::Status::Disconnect: {
        {
            std::lock_guard lock(m_hostLock);
            m_statusText = QStringLiteral("Disconnected");
        }
        if (m_lastNotified.exchange(2) != 2)
            PostNotification(2, QStringLiteral("Disconnected"));
        m_linkState = lsDisconnected;
        break;
    }
    case TcpClient::Status::Progress:
        OnDataArrival();
        break;
    }
}

void TZarnSckObj::OnDataArrival()
{
    // Runs on the worker with the client's socket lock held.
    QByteArray& stream = m_client->ReceiveStream();
    TZarnRxBlock block;
    if (!stream.isEmpty()) {
        block = TZarnRxBlock(stream.constData(), static_cast<int32_t>(stream.size()));
        stream.clear();
    }
    m_rx.BlockQueue().Append(std::move(block));
    if (m_window)
        m_window->Post(WmFill);
}

void TZarnSckObj::OnClientError(const QString& text)
{
    if (!m_client)
        return;
    {
        std::lock_guard lock(m_hostLock);
        m_lastError = text;
    }
    Open(false);
}

void TZarnSckObj::HiddenWndProc(uint32_t msg, uintptr_t, intptr_t)
{
    try {
        // Each step handles at most ten frames; what is left gets a message of its own, so the
        // tail of a burst is not held back until the device happens to send again.
        if (msg == WmClassify) {
            if (IsLinkUp()) {
                m_rx.Classify();
                if (!m_rx.ParsedQueue().IsEmpty())
                    m_window->Post(WmClassify);
            }
        } else if (msg == WmFill) {
            if (IsLinkUp()) {
                if (m_rx.Fill())
                    m_window->Post(WmClassify);
                if (!m_rx.IsRawMode() && m_rx.RawAvailable())
                    m_window->Post(WmFill);
            }
        }
    } catch (...) {
        // A bad frame or a failing averaging step must not stop the receive path.
    }
}

void TZarnSckObj::PostNotification(int code, const QString& text)
{
    if (TMqNotifier* n = Notifier())
        n->Notify(TVarRecArray{TVarRec(code), TVarRec(text)}, qsDefault);
}
