#pragma once
// What the main frame needs of a device link. The TCP link implements it; a
// stand-in that never connects serves where no device is wanted.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TZarnRxPath;

// Connection notifications to the owner: code 1 connected, 2 disconnected, with the status text.
using TZarnLinkNotifyFn = std::function<void(int code, const QString& text)>;

class IZarnLink {
public:
    virtual ~IZarnLink() = default;
    virtual void CreateClient() = 0;
    virtual void SetAddress(const QString& text) = 0;
    virtual QString GetAddress() const = 0;
    virtual void Open(bool open) = 0;
    virtual bool IsLinkUp() const = 0;
    virtual bool IsConnected() = 0;
    virtual int SendBlock(const uint8_t* bytes, int count) = 0;
    virtual void RequestShutdown() = 0;
    virtual TZarnRxPath& RxPath() = 0;
};

// A link with no socket: it keeps an address and a receive path and never connects
// unless told to. Used where the monitor runs without a device.
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
