// Uses the installed headers and libraries: a native client that finds no
// hub, the ini store and the workstation identity.
#include <qxClient.h>
#include <qxConfig.h>

#include <cstdio>

int main() {
    qxClient client(nullptr, "consumer");
    const bool failed = client.connect(qx::wm, 0);  // no hub runs: connect reports failure
    std::printf("workstation %d, connect %s, device limit %u\n", qxConfig::workstation(),
                failed ? "found no hub" : "connected", client.maxDevices());
    return client.getMessageWindow() != nullptr ? 0 : 1;
}
