// The window class under which the hub stand-in's window can be found.
#pragma once

inline constexpr const char orqWindowClass[] = "OrqHubWindow";
