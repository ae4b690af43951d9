// A client of the session's hub for the facility tests, for what zorvctl does
// one command at a time:
//   federation_client burst DEVICE DESTINATION COUNT
// switches the router's destination to sources 1..COUNT in turn, as
// workstation 1, as fast as the hub takes them. Exit code 0 sent, 1 usage, 2 no hub.
#include <cstdlib>
#include <string>

#include "OrqTestSupport.h"
#include "orqWindowClass.h"
#include "zorvMessages.h"
#include "zorvText.h"

int main(int argc, char** argv) {
    if (argc != 5 || std::string(argv[1]) != "burst") return 1;
    const int device = std::atoi(argv[2]);
    const int destination = std::atoi(argv[3]);
    const int count = std::atoi(argv[4]);
    if (device < 1 || device > 0xFFFF || destination < 1 || count < 1 || count > 1000000) return 1;
    const HWND hub = FindWindowA(orqWindowClass, nullptr);
    if (hub == nullptr) return 2;
    orqtest::FakeClient client(hub);
    client.join();
    for (int source = 1; source <= count; ++source) {
        client.command(zorvmsg::routerCommand, device, formatText("RC %d %d %d '' 1", device, source, destination));
    }
    return 0;
}
