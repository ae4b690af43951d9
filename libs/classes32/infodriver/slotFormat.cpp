#include "slotFormat.h"

#include <cstring>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one conversion that starts after a '%' at `at`; returns whether it
// takes a value of the kind, and leaves `at` behind it.
bool conversionFits(const std::string& format, size_t& at, slotValueKind kind) {
    while (at < format.size() && std::strchr("-+ #0", format[at]) != nullptr) ++at;
    while (at < format.size() && isDigit(format[at])) ++at;
    if (at < format.size() && format[at] == '.') {
        ++at;
        while (at < format.size() && isDigit(format[at])) ++at;
    }
    // Length modifiers that keep the argument's type: h and hh narrow an int
    // after promotion, l before a floating conversion changes nothing.
    std::string length;
    while (at < format.size() && std::strchr("hlLjztqI", format[at]) != nullptr) length += format[at++];
    if (at >= format.size()) return false;
    const char conversion = format[at++];
    if (kind == slotValueKind::integer) {
        return (length.empty() || length == "h" || length == "hh") && std::strchr("diouxXc", conversion) != nullptr;
    }
    return (length.empty() || length == "l") && std::strchr("fFeEgGaA", conversion) != nullptr;
}

}  // namespace

bool slotFormatFits(const std::string& format, slotValueKind kind) {
    int conversions = 0;
    for (size_t at = 0; at < format.size();) {
        if (format[at++] != '%') continue;
        if (at < format.size() && format[at] == '%') {
            ++at;
            continue;
        }
        if (++conversions > 1 || !conversionFits(format, at, kind)) return false;
    }
    return true;
}
