// Keeps Wine's desktop open while the tests run. Wine closes the desktop
// (its explorer process) a second after the last program using it ends, and
// the next test program then starts a new one, which inherits that test's
// output pipe and keeps the test runner waiting until it closes again. This
// program uses the desktop, prints "ready" once it does, and runs until it
// is killed (wineserver -k).
#include <windows.h>

#include <cstdio>

int main() {
    HWND window = CreateWindowExA(0, "STATIC", "desktop-keeper", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        std::fprintf(stderr, "desktop-keeper: no window (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::fclose(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
