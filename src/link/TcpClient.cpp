#include "TcpClient.h"

#include <QAbstractSocket>
#include <QMetaObject>
#include <QTcpSocket>
#include <QThread>

TcpClient::TcpClient(QObject* parent) : QObject(parent), m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        if (m_keepAlive)
            m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        if (m_sendBuffer > 0)
            m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, m_sendBuffer);
        m_open = true;
        if (auto h = StatusFn())
            h(Status::Connect);
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_open = false;
        if (auto h = StatusFn())
            h(Status::Disconnect);
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (auto h = ErrorFn())
            h(m_socket->errorString());
    });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
}

TcpClient::~TcpClient()
{
    DetachEvents();
    m_socket->abort();
}

void TcpClient::SetOnStatus(StatusHandler h)
{
    std::lock_guard lock(m_handlerLock);
    m_onStatus = std::move(h);
}

void TcpClient::SetOnError(ErrorHandler h)
{
    std::lock_guard lock(m_handlerLock);
    m_onError = std::move(h);
}

void TcpClient::DetachEvents()
{
    std::lock_guard lock(m_handlerLock);
    m_onStatus = nullptr;
    m_onError = nullptr;
}

TcpClient::StatusHandler TcpClient::StatusFn()
{
    std::lock_guard lock(m_handlerLock);
    return m_onStatus;
}

TcpClient::ErrorHandler TcpClient::ErrorFn()
{
    std::lock_guard lock(m_handlerLock);
    return m_onError;
}

void TcpClient::Connect(const QString& hostAndPort)
{
    if (QThread::currentThread() == thread())
        DoConnect(hostAndPort);
    else
        QMetaObject::invokeMethod(
            this, [this, hostAndPort] { DoConnect(hostAndPort); }, Qt::QueuedConnection);
}

void TcpClient::Disconnect()
{
    // Always later, from the event loop: the disconnected event must not run inside the caller.
    QMetaObject::invokeMethod(
        this, [this] { DoDisconnect(); }, Qt::QueuedConnection);
}

void TcpClient::DoConnect(const QString& hostAndPort)
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        return;
    const qsizetype colon = hostAndPort.lastIndexOf(':');
    const QString host = colon >= 0 ? hostAndPort.left(colon) : hostAndPort;
    bool ok = false;
    const uint port = colon >= 0 ? hostAndPort.mid(colon + 1).toUInt(&ok) : 0;
    if (!ok || port == 0 || port > 65535) {
        if (auto h = ErrorFn())
            h(QStringLiteral("Invalid address: ") + hostAndPort);
        return;
    }
    m_socket->connectToHost(host, static_cast<quint16>(port));
}

void TcpClient::DoDisconnect()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();
    else
        m_socket->abort(); // still looking up or connecting: give the attempt up
}

int TcpClient::SendBytes(const uint8_t* bytes, int count)
{
    if (!m_open || !bytes || count <= 0)
        return m_open ? 0 : -1;
    if (QThread::currentThread() != thread()) {
        QByteArray copy(reinterpret_cast<const char*>(bytes), count);
        QMetaObject::invokeMethod(
            this, [this, copy] { m_socket->write(copy); }, Qt::QueuedConnection);
        return count;
    }
    return static_cast<int>(m_socket->write(reinterpret_cast<const char*>(bytes), count));
}

int TcpClient::SendText(const QByteArray& text)
{
    return SendBytes(reinterpret_cast<const uint8_t*>(text.constData()), static_cast<int>(text.size()));
}

void TcpClient::SetSendBufferSize(int bytes)
{
    m_sendBuffer = bytes;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, bytes);
}

void TcpClient::OnReadyRead()
{
    const QByteArray data = m_socket->readAll();
    std::lock_guard lock(m_lock);
    m_stream.append(data);
    m_pending = true;
}

void TcpClient::DeliverProgress()
{
    std::lock_guard lock(m_lock);
    if (!m_pending)
        return;
    m_pending = false;
    if (auto h = StatusFn())
        h(Status::Progress);
}

void TcpClient::ClearReceiveStream()
{
    std::lock_guard lock(m_lock);
    m_stream.clear();
    m_pending = false;
}
