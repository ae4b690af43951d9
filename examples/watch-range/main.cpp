// Watches a range of a device: registers for its revertives, polls it once
// so that the current state arrives first, then prints every change.
//
//   watch-range DEVICE START END [SECONDS]     (default: 10 seconds)
//
// Router, infodriver and GPI revertives all print; the hub sends only those
// of the device's kind. Each line goes out as it is printed, also into a
// pipe (`watch-range 1 1 8 | grep ...`), where output is otherwise kept back
// until a buffer fills.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "ZorvClient.h"
#include "qxplatform.h"

using namespace ZorvClientLibrary;

// printf, then out at once.
static void printLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: watch-range DEVICE START END [SECONDS]\n");
        return 1;
    }
    const auto device = static_cast<uint>(std::strtoul(argv[1], nullptr, 10));
    const auto start = static_cast<uint>(std::strtoul(argv[2], nullptr, 10));
    const auto end = static_cast<uint>(std::strtoul(argv[3], nullptr, 10));
    const DWORD seconds = argc > 4 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 10;

    ZorvClient client;
    client.RouterRevertiveEvent += [](uint d, uint destination, int source) {
        printLine("router %u dest %u <- src %d\n", d, destination, source);
    };
    client.InfoRevertiveEvent += [](uint d, uint slot, String value) {
        printLine("info %u slot %u = '%s'\n", d, slot, value.toUtf8().c_str());
    };
    client.GPIRevertiveEvent += [](uint d, uint index, bool state) {
        printLine("gpi %u index %u %s\n", d, index, state ? "on" : "off");
    };
    client.DisconnectedEvent += [] { printLine("disconnected\n"); };

    if (client.connect()) {  // true: no hub found
        std::fprintf(stderr, "no hub running\n");
        return 2;
    }
    client.revertiveRegister(device, start, end);
    client.routerPoll(device, start, end, true);  // the hub answers with the kind the device is
    client.infoPoll(device, start, end, true);
    client.gpiPoll(device, start, end, true);

    // Events arrive while this thread dispatches its messages: for the
    // whole time, since nothing ends the watch early.
    qxplatform::pumpUntil([] { return false; }, seconds * 1000);
    client.Dispose();
    return 0;
}
