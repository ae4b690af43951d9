// Uses the installed headers and libraries: the public client class and the
// workstation's configuration.
#include <ZorvClient.h>
#include <qxConfig.h>

#include <cstdio>

int main() {
    using namespace ZorvClientLibrary;
    ZorvClient client;
    const bool failed = client.connect(IpcType::wm);  // true: no hub found
    std::printf("workstation %d, connect %s, string limit %u\n", qxConfig::workstation(),
                failed ? "found no hub" : "connected", client.maxString());
    client.Dispose();
    return 0;
}
