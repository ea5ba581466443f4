#include "KivSig.h"

#include <algorithm>

TmqsSignalServer* TmqsSignalServer::s_instance = nullptr;
int TmqsSignalServer::s_clientCount = 0;

namespace {
bool KeyLess(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}
} // namespace

TmqsSignalServer::~TmqsSignalServer()
{
    if (s_instance == this)
        s_instance = nullptr;
}

void TmqsSignalServer::Register(TmqsSignalClient* Client, const QString& Key)
{
    if (!Client || IsRegistered(Client, Key))
        return;
    auto at = std::upper_bound(m_list.begin(), m_list.end(), Key,
                               [](const QString& k, const TRegistration& r) { return KeyLess(k, r.Key); });
    m_list.insert(at, TRegistration{Key, Client});
}

void TmqsSignalServer::Unregister(TmqsSignalClient* Client, const QString& Key)
{
    const bool all = Key == QLatin1String("*");
    for (int i = Count() - 1; i >= 0; --i) {
        const TRegistration& r = m_list[static_cast<size_t>(i)];
        if (r.Client == Client && (all || r.Key == Key))
            m_list.erase(m_list.begin() + i);
    }
}

bool TmqsSignalServer::IsRegistered(const TmqsSignalClient* Client, const QString& Key) const
{
    return std::any_of(m_list.begin(), m_list.end(),
                       [&](const TRegistration& r) { return r.Client == Client && r.Key == Key; });
}

int TmqsSignalServer::Signal(void* Sender, const QString& Key, const QString& UserInfo, int32_t IntUserInfo,
                             void* Object)
{
    if (!s_instance)
        return 0;
    std::vector<TmqsSignalClient*> listeners;
    for (const TRegistration& r : s_instance->m_list)
        if (r.Key == Key)
            listeners.push_back(r.Client);
    int called = 0;
    for (TmqsSignalClient* client : listeners) {
        // Re-checked before every call: an earlier handler may have unregistered or
        // destroyed this client, or the last client and with it the server.
        if (!s_instance || !s_instance->IsRegistered(client, Key))
            continue;
        if (TSignalChange handler = client->OnSignalChange) {
            handler(Sender, Key, UserInfo, IntUserInfo, Object);
            ++called;
        }
    }
    return called;
}

TmqsSignalClient::TmqsSignalClient()
{
    if (!TmqsSignalServer::s_instance)
        TmqsSignalServer::s_instance = new TmqsSignalServer;
    ++TmqsSignalServer::s_clientCount;
}

TmqsSignalClient::~TmqsSignalClient()
{
    if (TmqsSignalServer::s_instance)
        TmqsSignalServer::s_instance->Unregister(this, QStringLiteral("*"));
    if (--TmqsSignalServer::s_clientCount == 0)
        delete TmqsSignalServer::s_instance; // its destructor clears the process-wide pointer
}

void TmqsSignalClient::Register(const QString& Key)
{
    if (TmqsSignalServer::s_instance)
        TmqsSignalServer::s_instance->Register(this, Key);
}

void TmqsSignalClient::Unregister(const QString& Key)
{
    if (TmqsSignalServer::s_instance)
        TmqsSignalServer::s_instance->Unregister(this, Key);
}
