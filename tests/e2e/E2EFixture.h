#pragma once
// The monitor's main frame with the real device link, against an in-process simulator
// on its own loopback address. The link waits a few ticks instead of 300 before each
// attempt; everything else runs as in the program.
#include <QLineEdit>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "KivZarnCalibFrame.h"
#include "KivZarnClSk.h"
#include "KivsZarnFrame.h"
#include "TestSupport.h"
#include "ZarnSim.h"
#include "ZarnStatusLine.h"

namespace e2e {

constexpr int kShortWait = 3;

inline zsim::ZarnSimOptions SimAt(const std::string& address, int generation = 11)
{
    zsim::ZarnSimOptions o;
    o.Address = address;
    o.Generation = generation;
    o.AlarmRate = 0;
    return o;
}

class Monitor {
public:
    explicit Monitor(const QString& address)
        : Frame(nullptr, [this](TZarnLinkNotifyFn notify) {
              // Count the link's notifications on their way to the main frame.
              auto counted = [this, notify](int code, const QString& text) {
                  Notifications.push_back(code);
                  notify(code, text);
              };
              auto l = std::make_unique<TZarnSckObj>(nullptr, counted, kShortWait);
              Link = l.get();
              return l;
          })
    {
        Frame.OnFrameDispatched = [this](const TZarnFrame& f) { Dispatched.push_back(f); };
        Frame.SetDeviceAddress(address);
        Frame.StartMonitoring();
    }
    ~Monitor()
    {
        Frame.BeginShutdown();
        zt::WaitUntil([&] { return !Frame.ShutdownInProgress(); }, std::chrono::seconds(5));
    }

    QString Section(int i) const { return Frame.StatusLine->SectionText(i); }
    bool WaitConnected(std::chrono::milliseconds bound = std::chrono::seconds(10))
    {
        return zt::WaitUntil([&] { return Frame.Connected() && Link->IsLinkUp(); }, bound);
    }

    TfrmKivsZarn Frame;
    TZarnSckObj* Link = nullptr;
    std::vector<TZarnFrame> Dispatched;
    std::vector<int> Notifications;
};

} // namespace e2e
