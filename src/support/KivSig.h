#pragma once
// In-process publish/subscribe: signal clients listen to named keys through one
// process-wide server, which exists exactly while at least one client exists.
// Clients are created and destroyed on the user-interface thread; nothing locks.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class TmqsSignalClient;

// Sender and objectParm are whatever objects the signalling side passes along.
using TSignalChange =
    std::function<void(void* Sender, const QString& strKeyParm, const QString& strUserInfoParm,
                       int32_t intUserInfoParm, void* objectParm)>;

class TmqsSignalServer {
public:
    struct TRegistration {
        QString Key;
        TmqsSignalClient* Client;
    };

    // The one server, or none while no client exists.
    static TmqsSignalServer* Instance() { return s_instance; }
    static int ClientCount() { return s_clientCount; }

    TmqsSignalServer(const TmqsSignalServer&) = delete;
    TmqsSignalServer& operator=(const TmqsSignalServer&) = delete;

    // Adds (Key, Client); the list stays sorted by key, letter case ignored, and
    // keeps duplicates. Registering the same pair twice keeps one registration.
    void Register(TmqsSignalClient* Client, const QString& Key);
    // Deletes Client's registrations under exactly Key (letter case counts), or all
    // of them with "*".
    void Unregister(TmqsSignalClient* Client, const QString& Key);

    // Calls OnSignalChange of every client registered under exactly Key, in list
    // order; returns how many were called. A handler may register, unregister or
    // destroy clients (even the last one) while this runs.
    static int Signal(void* Sender, const QString& Key, const QString& UserInfo = QString(),
                      int32_t IntUserInfo = 0, void* Object = nullptr);

    int Count() const { return static_cast<int>(m_list.size()); }
    const TRegistration& Items(int Index) const { return m_list.at(static_cast<size_t>(Index)); }

private:
    friend class TmqsSignalClient;
    TmqsSignalServer() = default;
    ~TmqsSignalServer();
    bool IsRegistered(const TmqsSignalClient* Client, const QString& Key) const;

    std::vector<TRegistration> m_list;

    static TmqsSignalServer* s_instance;
    static int s_clientCount;
};

class TmqsSignalClient {
public:
    // Joins the server, creating it when this is the first client.
    TmqsSignalClient();
    // Leaves the server (all of this client's registrations go); the last client
    // to go frees the server.
    virtual ~TmqsSignalClient();
    TmqsSignalClient(const TmqsSignalClient&) = delete;
    TmqsSignalClient& operator=(const TmqsSignalClient&) = delete;

    QString Name() const { return m_name; }
    void SetName(const QString& Value) { m_name = Value; }

    // Shorthands for the server's operations with this client.
    void Register(const QString& Key);
    void Unregister(const QString& Key);

    TSignalChange OnSignalChange;

private:
    QString m_name;
};
