#include "ZarnLinkIntf.h"

#include "ZarnRxPath.h"

TZarnStandInLink::TZarnStandInLink(TZarnLinkNotifyFn notify)
    : m_notify(std::move(notify)), m_rx(std::make_unique<TZarnRxPath>())
{
    m_rx->SetConnectedFn([this] { return m_up; });
}

TZarnStandInLink::~TZarnStandInLink() = default;

void TZarnStandInLink::Open(bool open)
{
    if (!open && m_up)
        SetUp(false);
}

int TZarnStandInLink::SendBlock(const uint8_t* bytes, int count)
{
    if (!m_up || !bytes || count <= 0)
        return 0;
    m_sent.insert(m_sent.end(), bytes, bytes + count);
    return count;
}

void TZarnStandInLink::RequestShutdown()
{
    m_shutdown = true;
    m_up = false; // no notification: the owner stops listening at shutdown
}

void TZarnStandInLink::SetUp(bool up)
{
    if (m_shutdown || up == m_up)
        return;
    m_up = up;
    if (m_notify)
        m_notify(up ? 1 : 2,
                 up ? QStringLiteral("Connected to ") + m_address : QStringLiteral("Disconnected"));
}
