#pragma once
#include <QString>
#include <memory>
#include <vector>

#include "ZarnLinkIntf.h"
#include "ZarnRxPath.h"

// A link with no socket: it keeps an address and a receive path and connects only
// when told to, so tests drive the main frame one tick at a time.
class TZarnStandInLink : public IZarnLink {
public:
    explicit TZarnStandInLink(TZarnLinkNotifyFn notify);
    ~TZarnStandInLink() override;

    void CreateClient() override {}
    void SetAddress(const QString& text) override { m_address = text; }
    QString GetAddress() const override { return m_address; }
    void Open(bool open) override;
    bool IsLinkUp() const override { return m_up; }
    bool IsConnected() override { return m_up; }
    int SendBlock(const uint8_t* bytes, int count) override;
    void RequestShutdown() override;
    TZarnRxPath& RxPath() override { return *m_rx; }

    // Drives the stand-in: up reports "connected" to the owner, down "disconnected".
    void SetUp(bool up);
    // Everything "sent" so far.
    const std::vector<uint8_t>& Sent() const { return m_sent; }
    void ClearSent() { m_sent.clear(); }

private:
    TZarnLinkNotifyFn m_notify;
    QString m_address;
    bool m_up = false;
    bool m_shutdown = false;
    std::vector<uint8_t> m_sent;
    std::unique_ptr<TZarnRxPath> m_rx;
};

inline TZarnStandInLink::TZarnStandInLink(TZarnLinkNotifyFn notify)
    : m_notify(std::move(notify)), m_rx(std::make_unique<TZarnRxPath>())
{
    m_rx->SetConnectedFn([this] { return m_up; });
}

inline TZarnStandInLink::~TZarnStandInLink() = default;

void inline TZarnStandInLink::Open(bool open)
{
    if (!open && m_up)
        SetUp(false);
}

int inline TZarnStandInLink::SendBlock(const uint8_t* bytes, int count)
{
    if (!m_up || !bytes || count <= 0)
        return 0;
    m_sent.insert(m_sent.end(), bytes, bytes + count);
    return count;
}

void inline TZarnStandInLink::RequestShutdown()
{
    m_shutdown = true;
    m_up = false; // no notification: the owner stops listening at shutdown
}

void inline TZarnStandInLink::SetUp(bool up)
{
    if (m_shutdown || up == m_up)
        return;
    m_up = up;
    if (m_notify)
        m_notify(up ? 1 : 2,
                 up ? QStringLiteral("Connected to ") + m_address : QStringLiteral("Disconnected"));
}
