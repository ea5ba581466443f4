#pragma once
// The device link: one TCP client connection to the ZARN on port 4001, run by a
// periodic worker whose 100 ms tick waits, connects, times out and reconnects on
// its own. Received bytes reach the user-interface thread through the link's hidden
// window, which fills the receive ring and classifies the parsed frames; connection
// and disconnection reach the owner as notifications.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "KivZarnSkBase.h"
#include "TcpClient.h"
#include "ZarnLinkIntf.h"
#include "ZarnRxPath.h"

namespace plat {
class MessageWindow;
}

class TZarnSckObj : public TSckBase, public IZarnLink {
public:
    static constexpr int Port = 4001;
    // Ticks spent waiting before an attempt, and given to an attempt.
    static constexpr int WaitTicks = 300;
    static constexpr int MaxHostLength = 50;
    static constexpr uint32_t WmFill = 0x0400 + 121;
    static constexpr uint32_t WmClassify = 0x0400 + 102;

    enum : uint8_t {
        lsClosed = 3,
        lsCloseRequested = 4,
        lsDisconnected = 5,
        lsWaiting = 6,
        lsConnecting = 7,
        lsConnected = 8,
        lsNotRunning = 9,
    };

    // notify: the owner's handler for connection notifications (user-interface thread).
    // waitTicks: only tests shorten it.
    TZarnSckObj(QObject* owner, TZarnLinkNotifyFn notify, int waitTicks = WaitTicks);
    ~TZarnSckObj() override;

    void CreateClient() override;
    void SetAddress(const QString& text) override;
    QString GetAddress() const override;
    void Open(bool open) override;
    bool IsLinkUp() const override { return m_linkState.load() == lsConnected; }
    bool IsConnected() override;
    int SendBlock(const uint8_t* bytes, int count) override;
    int SendText(const QByteArray& text);
    void RequestShutdown() override;
    TZarnRxPath& RxPath() override { return m_rx; }
    void ResetRing() { m_rx.ResetRing(); }

    uint8_t LinkState() const { return m_linkState.load(); }
    int TickCount() const { return m_tickCount.load(); }
    QString LastError() const;
    QString StatusText() const;
    QString CurrentHost() const;

    // One tick of the connection state machine (worker thread).
    void StateMachineTick();

private:
    void OnClientStatus(TcpClient::Status status);
    void OnClientError(const QString& text);
    void OnDataArrival();
    void HiddenWndProc(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void PostNotification(int code, const QString& text);
    void Teardown();
    // A copy of one of the shared texts, taken under their lock.
    QString Locked(const QString& field) const;

    QObject* m_owner;
    TZarnLinkNotifyFn m_notify;
    const int m_waitTicks;

    mutable std::mutex m_hostLock; // hosts and texts are shared by the worker and the UI thread
    QString m_currentHost;
    int m_currentPort = Port;
    QString m_requestedHost;
    int m_requestedPort = Port;
    QString m_address;
    QString m_statusText;
    QString m_lastError;

    std::unique_ptr<TcpClient> m_client;
    std::atomic<int> m_tickCount{0};
    std::atomic<uint8_t> m_linkState{lsClosed};
    std::atomic<int> m_lastNotified{0};
    std::atomic<bool> m_openRequested{false};

    // Held for a whole tick: teardown takes it to know no tick still uses the client.
    std::mutex m_tickLock;
    bool m_ticking = true;

    std::unique_ptr<plat::MessageWindow> m_window;
    TZarnRxPath m_rx;
};
