#pragma once
// What the main frame needs of a device link; the TCP link implements it, and tests
// can give the main frame a link they drive by hand.
#include <QString>
#include <cstdint>
#include <functional>

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
