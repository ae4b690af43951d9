// Each test program runs in a window session of its own (its child programs
// join it), so that test programs run side by side never meet each other's
// windows or broadcasts.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

const bool sessionChosen = [] {
    char name[64];
    std::snprintf(name, sizeof name, "test-%d", static_cast<int>(::getpid()));
    return ::setenv("QX_SESSION", name, 1) == 0;
}();

}  // namespace
