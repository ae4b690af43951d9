// How an infodriver's window can be found: its class, and its name formatted
// with the device number.
#pragma once

#include <cstdio>
#include <string>

inline constexpr const char infodriverWindowClass[] = "ZorvInfodriverWindow";

inline std::string infodriverWindowName(int device) {
    char name[32];
    std::snprintf(name, sizeof name, "Infodriver %d", device);
    return name;
}
