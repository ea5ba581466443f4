#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <thread>

#include "TcpClient.h"
#include "TestSupport.h"

namespace {
struct Events {
    std::vector<TcpClient::Status> Status;
    std::vector<QString> Errors;
    QByteArray Received;
};

void Attach(TcpClient& c, Events& e)
{
    c.SetOnStatus([&](TcpClient::Status s) {
        if (s == TcpClient::Status::Progress) {
            e.Received += c.ReceiveStream(); // runs with the socket lock held
            c.ReceiveStream().clear();
        }
        e.Status.push_back(s);
    });
    c.SetOnError([&](const QString& text) { e.Errors.push_back(text); });
}
} // namespace

TEST(TcpClient, ConnectFromAnotherThreadReceiveThroughProgressAndSeeTheDisconnect)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress("127.0.0.41"), 0));
    TcpClient client;
    Events e;
    Attach(client, e);

    const QString target = QStringLiteral("127.0.0.41:%1").arg(server.serverPort());
    std::thread([&] { client.Connect(target); }).join();
    ASSERT_TRUE(zt::WaitUntil([&] { return client.IsOpen() && server.hasPendingConnections(); }));
    ASSERT_EQ(e.Status, std::vector{TcpClient::Status::Connect});
    QTcpSocket* peer = server.nextPendingConnection();

    peer->write("\x02\x00\x0D", 3);
    peer->flush();
    ASSERT_TRUE(zt::WaitUntil([&] {
        std::thread([&] { client.DeliverProgress(); }).join(); // the worker's per-tick call
        return e.Received.size() == 3;
    }));
    EXPECT_EQ(e.Received, QByteArray("\x02\x00\x0D", 3));
    const size_t before = e.Status.size();
    client.DeliverProgress(); // nothing new: no event
    EXPECT_EQ(e.Status.size(), before);

    const uint8_t out[] = {1, 2, 3};
    EXPECT_EQ(client.SendBytes(out, 3), 3);
    ASSERT_TRUE(zt::WaitUntil([&] { return peer->bytesAvailable() >= 3; }));
    EXPECT_EQ(peer->readAll(), QByteArray("\x01\x02\x03", 3));

    peer->close();
    ASSERT_TRUE(zt::WaitUntil([&] { return !client.IsOpen(); }));
    EXPECT_EQ(e.Status.back(), TcpClient::Status::Disconnect);
    EXPECT_EQ(client.SendBytes(out, 3), -1);
}

TEST(TcpClient, RefusedConnectRaisesOnlyAnError)
{
    quint16 port;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress("127.0.0.42"), 0));
        port = probe.serverPort();
    }
    TcpClient client;
    Events e;
    Attach(client, e);
    client.Connect(QStringLiteral("127.0.0.42:%1").arg(port));
    ASSERT_TRUE(zt::WaitUntil([&] { return !e.Errors.empty(); }));
    EXPECT_TRUE(e.Status.empty());
    EXPECT_FALSE(client.IsOpen());
    client.Connect(QStringLiteral("127.0.0.42:notaport"));
    EXPECT_EQ(e.Errors.size(), 2u);
}
