// Connects to the hub, switches destination 5 of router 1 to source 7 and
// prints the revertive that reports it.
#include <windows.h>

#include <cstdio>

#include "ZorvClient.h"

using namespace ZorvClientLibrary;

int main() {
    ZorvClient client;
    client.RouterRevertiveEvent += [](uint device, uint destination, int source) {
        std::printf("router %u: destination %u takes source %d\n", device, destination, source);
        PostQuitMessage(0);
    };
    client.DisconnectedEvent += [] { std::printf("disconnected\n"); };

    if (client.connect(IpcType::wm)) {  // true: no hub found
        std::printf("no hub\n");
        return 1;
    }
    client.revertiveRegister(1, 1, 8);                // router 1, destinations 1 to 8
    client.routerCrosspoint(1, 5, 7, u",---", true);  // now, not held by the hub

    MSG message;  // events arrive while this thread dispatches its messages
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    client.Dispose();
}
