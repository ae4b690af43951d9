// The callback of one soak client: checks every revertive against the plan
// (registered index, next value in order) and counts what is missing, extra
// or out of order.
#pragma once

#include "IqxClientCallback.h"
#include "Latency.h"
#include "Plan.h"

#include <string>
#include <vector>

namespace soak {

struct Tally {
    long received = 0;
    long missing = 0;
    long extra = 0;       // for an index not registered, or past the last round
    long disordered = 0;  // a value other than the next one expected
    long markers = 0;
};

class Checker : public IqxClientCallback {
public:
    // The checker of client `client`; without one, of the round markers only
    // (the driver's).
    Checker(const Plan& plan, int client = -1);

    // Every round's marker arrived, so every revertive sent before it did.
    bool finished() const { return tally_.markers >= rounds_; }
    long markers() const { return tally_.markers; }
    // The final count, with what never arrived.
    Tally tally() const;
    // How long the slot revertives took, from the command to the callback.
    const Latency& latency() const { return latency_; }

    void routerRevertive(int device, int index, int source) override;
    void infoRevertive(int device, int index, const std::string& value) override;
    void gpiRevertive(int, int, bool) override { ++tally_.extra; }
    void connected() override {}
    void disconnected() override {}
    void databaseChange(int, int, int) override {}
    void deviceMode(int, int, qx::redundancyState) override {}
    void deviceMessage(int, int, const std::string&, int) override {}
    void pollError(int, int) override {}
    void configChangeMessage(const std::string&) override {}

private:
    // The next round expected at the index, or nothing for an index not registered.
    long* nextRound(int device, int index);
    void check(long* round, bool expected);

    long rounds_;
    int marker_;
    std::vector<long> router_;  // per destination: the next round, -1 when not registered
    std::vector<long> slots_;
    Tally tally_;
    Latency latency_;
};

}  // namespace soak
