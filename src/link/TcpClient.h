#pragma once
// The link's TCP client. The socket lives on the user-interface thread, where its
// connect, disconnect and error events fire. Connect and disconnect may be asked for
// from any thread (they are queued to the socket's thread). Received bytes go into a
// locked receive stream; the owner's worker calls DeliverProgress() each tick, which
// raises the data-arrival event on the worker with the socket lock held.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class QTcpSocket;

class TcpClient : public QObject {
public:
    enum class Status { Connect, Disconnect, Progress };
    using StatusHandler = std::function<void(Status)>;
    using ErrorHandler = std::function<void(const QString&)>;

    explicit TcpClient(QObject* parent = nullptr);
    ~TcpClient() override;

    void SetOnStatus(StatusHandler h);
    void SetOnError(ErrorHandler h);
    // Drops both handlers; no event reaches the owner afterwards.
    void DetachEvents();

    // "host:port"; any thread. A connect while a socket is open or connecting is ignored.
    void Connect(const QString& hostAndPort);
    // Any thread; carried out from the socket thread's event loop, never inside the call.
    void Disconnect();
    // The socket is connected (thread-safe).
    bool IsOpen() const { return m_open.load(); }

    // Socket thread. Returns the number of bytes accepted, or -1 when not connected.
    int SendBytes(const uint8_t* bytes, int count);
    int SendText(const QByteArray& text);
    void SetSendBufferSize(int bytes);
    void SetKeepAlive(bool on) { m_keepAlive = on; }

    // Worker thread, once per tick: raises Progress when bytes came in since the last call.
    void DeliverProgress();

    // The receive stream. Hold SocketLock() while touching it off the socket thread
    // (the Progress handler already runs with it held).
    std::recursive_mutex& SocketLock() { return m_lock; }
    QByteArray& ReceiveStream() { return m_stream; }
    void ClearReceiveStream();

private:
    void DoConnect(const QString& hostAndPort);
    void DoDisconnect();
    void OnReadyRead();
    StatusHandler StatusFn();
    ErrorHandler ErrorFn();

    QTcpSocket* m_socket;
    std::recursive_mutex m_lock;
    QByteArray m_stream;
    bool m_pending = false; // bytes arrived since the last DeliverProgress
    std::atomic<bool> m_open{false};
    bool m_keepAlive = true;
    int m_sendBuffer = 0;
    std::mutex m_handlerLock;
    StatusHandler m_onStatus;
    ErrorHandler m_onError;
};
