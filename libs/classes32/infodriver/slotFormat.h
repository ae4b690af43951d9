// Whether a caller's printf-style format may format one value of a kind: at
// most one conversion ("%%" is none), with flags, width and precision given
// as digits, and a conversion that takes exactly that kind of value.
#pragma once

#include <string>

enum class slotValueKind { integer, floating };

bool slotFormatFits(const std::string& format, slotValueKind kind);
