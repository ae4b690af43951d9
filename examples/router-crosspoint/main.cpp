// Connects to the hub, switches destination 5 of router 1 to source 7 and
// prints the revertive that reports it; gives up after 2 seconds.
#include <windows.h>

#include <cstdio>

#include "ZorvClient.h"
#include "qxplatform.h"

using namespace ZorvClientLibrary;

int main() {
    ZorvClient client;
    bool reported = false;
    client.RouterRevertiveEvent += [&](uint device, uint destination, int source) {
        std::printf("router %u: destination %u takes source %d\n", device, destination, source);
        reported = true;
    };
    client.DisconnectedEvent += [] { std::printf("disconnected\n"); };

    if (client.connect(IpcType::wm)) {  // true: no hub found
        std::printf("no hub\n");
        return 1;
    }
    client.revertiveRegister(1, 1, 8);                // router 1, destinations 1 to 8
    client.routerCrosspoint(1, 5, 7, u",---", true);  // now, not held by the hub

    // Events arrive only while this thread dispatches its messages: pump them
    // until the revertive came, for at most 2 seconds.
    if (!qxplatform::pumpUntil([&] { return reported; }, 2000)) std::printf("no revertive in time\n");
    client.Dispose();
    return reported ? 0 : 1;
}
