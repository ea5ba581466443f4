#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "KivSig.h"

namespace {

std::vector<std::pair<QString, TmqsSignalClient*>> Registrations()
{
    std::vector<std::pair<QString, TmqsSignalClient*>> out;
    if (auto* s = TmqsSignalServer::Instance())
        for (int i = 0; i < s->Count(); ++i)
            out.emplace_back(s->Items(i).Key, s->Items(i).Client);
    return out;
}

TEST(SignalRegistry, ServerLivesExactlyWhileAClientDoes)
{
    ASSERT_EQ(TmqsSignalServer::Instance(), nullptr);
    auto c1 = std::make_unique<TmqsSignalClient>();
    TmqsSignalServer* server = TmqsSignalServer::Instance();
    ASSERT_NE(server, nullptr);
    EXPECT_FALSE(c1->OnSignalChange);
    auto c2 = std::make_unique<TmqsSignalClient>();
    EXPECT_EQ(TmqsSignalServer::Instance(), server);
    EXPECT_EQ(TmqsSignalServer::ClientCount(), 2);
    c1->Register("Link");
    c2->Register("Link");
    c2->Register("Alarm");

    c1.reset();
    EXPECT_EQ(TmqsSignalServer::Instance(), server);
    EXPECT_EQ(Registrations(),
              (std::vector<std::pair<QString, TmqsSignalClient*>>{{"Alarm", c2.get()}, {"Link", c2.get()}}));
    c2.reset();
    EXPECT_EQ(TmqsSignalServer::Instance(), nullptr);
    EXPECT_EQ(TmqsSignalServer::ClientCount(), 0);

    TmqsSignalClient c3;
    ASSERT_NE(TmqsSignalServer::Instance(), nullptr);
    EXPECT_EQ(TmqsSignalServer::Instance()->Count(), 0); // a fresh, empty server
}

TEST(SignalRegistry, KeepsKeysSortedIgnoringCaseWithDuplicates)
{
    TmqsSignalClient a;
    TmqsSignalClient b;
    auto* s = TmqsSignalServer::Instance();
    s->Register(&a, "beta");
    s->Register(&b, "Alpha");
    s->Register(&a, "alpha");
    s->Register(&b, "beta");
    s->Register(&a, "Gamma");
    s->Register(&a, "beta"); // the same pair again is kept once
    ASSERT_EQ(s->Count(), 5);
    for (int i = 1; i < s->Count(); ++i)
        EXPECT_LE(QString::compare(s->Items(i - 1).Key, s->Items(i).Key, Qt::CaseInsensitive), 0);
}

TEST(SignalRegistry, UnregisterRemovesOnlyThatClientsMatchingRegistrations)
{
    TmqsSignalClient a;
    TmqsSignalClient b;
    for (const char* key : {"Link", "link", "Alarm"}) {
        a.Register(key);
        b.Register(key);
    }
    a.Unregister("link"); // exact letter case only
    std::multiset<QString> keysOfA;
    for (auto& [key, client] : Registrations())
        if (client == &a)
            keysOfA.insert(key);
    EXPECT_EQ(keysOfA, (std::multiset<QString>{"Alarm", "Link"}));
    EXPECT_EQ(Registrations().size(), 5u);

    TmqsSignalServer::Instance()->Unregister(&b, "*");
    for (auto& [key, client] : Registrations())
        EXPECT_EQ(client, &a) << key.toStdString();
    EXPECT_EQ(Registrations().size(), 2u);
}

TEST(SignalRegistry, SignalReachesExactKeyListenersAndSurvivesHandlersDestroyingClients)
{
    auto a = std::make_unique<TmqsSignalClient>();
    auto b = std::make_unique<TmqsSignalClient>();
    auto c = std::make_unique<TmqsSignalClient>();
    std::vector<QString> calls;
    int sender = 0;
    int object = 0;
    a->OnSignalChange = [&](void* s, const QString& key, const QString& info, int32_t n, void* obj) {
        EXPECT_EQ(s, &sender);
        EXPECT_EQ(info, "info");
        EXPECT_EQ(n, 7);
        EXPECT_EQ(obj, &object);
        calls.push_back("a:" + key);
        // Destroys the others, the last client among them, while the signal runs.
        b.reset();
        c.reset();
        a.reset();
    };
    b->OnSignalChange = [&](void*, const QString& key, const QString&, int32_t, void*) {
        calls.push_back("b:" + key);
    };
    c->OnSignalChange = b->OnSignalChange;
    a->Register("Tick");
    b->Register("Tick");
    c->Register("tick");

    EXPECT_EQ(TmqsSignalServer::Signal(&sender, "Other"), 0);
    EXPECT_EQ(TmqsSignalServer::Signal(&sender, "Tick", "info", 7, &object), 1);
    EXPECT_EQ(calls, (std::vector<QString>{"a:Tick"}));
    EXPECT_EQ(TmqsSignalServer::Instance(), nullptr);
    EXPECT_EQ(TmqsSignalServer::Signal(&sender, "Tick"), 0);
}

} // namespace
