#pragma once
// A simulator on this test's own loopback address with a raw client connected to it.
#include <gtest/gtest.h>

#include "SimTestClient.h"
#include "ZarnSim.h"

namespace simtest {

// Fast rates so that sequences play out quickly; no alarms of the simulator's own.
inline zsim::ZarnSimOptions FastOptions(int generation = 11)
{
    zsim::ZarnSimOptions o;
    o.Address = TestAddress();
    o.Port = 4001;
    o.Generation = generation;
    o.StatusRate = 50;
    o.AlarmRate = 20;
    o.AutoAlarms = false;
    return o;
}

struct SimRig {
    explicit SimRig(zsim::ZarnSimOptions o = FastOptions()) : Sim(o)
    {
        std::string err;
        Started = Sim.Start(&err);
        EXPECT_TRUE(Started) << err;
    }
    // Connects the client and waits until the simulator has taken the connection.
    bool Connect()
    {
        int before = Sim.Connections();
        return Client.Connect(Sim.Address(), Sim.Port()) &&
               Sim.WaitFor([&] { return Sim.Connections() > before; }, Ms(3000));
    }
    // Waits for the next status frame whose main state is `state`.
    std::optional<Frame> StatusWithState(int state, Ms bound = Ms(5000))
    {
        auto end = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < end) {
            auto f = Client.NextFrame(0, Ms(500));
            if (f && !f->Payload.empty() && f->Payload[0] == state)
                return f;
        }
        return std::nullopt;
    }

    // Waits for the next status frame whose payload satisfies pred.
    template <class Pred> std::optional<Frame> StatusWhere(Pred pred, Ms bound = Ms(5000))
    {
        auto end = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < end) {
            auto f = Client.NextFrame(0, Ms(500));
            if (f && pred(f->Payload))
                return f;
        }
        return std::nullopt;
    }

    zsim::ZarnSim Sim;
    RawClient Client;
    bool Started = false;
};

} // namespace simtest
