// A client callback for benchmarks: counts the revertives that arrive
// (router, infodriver and GPI alike) and ignores everything else.
#pragma once

#include <string>

#include "IqxClientCallback.h"

class RevertiveCounter : public IqxClientCallback {
public:
    long revertives = 0;
    void connected() override {}
    void disconnected() override {}
    void infoRevertive(int, int, const std::string&) override { ++revertives; }
    void routerRevertive(int, int, int) override { ++revertives; }
    void gpiRevertive(int, int, bool) override { ++revertives; }
    void databaseChange(int, int, int) override {}
    void deviceMode(int, int, qx::redundancyState) override {}
    void deviceMessage(int, int, const std::string&, int) override {}
    void pollError(int, int) override {}
    void configChangeMessage(const std::string&) override {}
};
