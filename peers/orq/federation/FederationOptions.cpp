#include "FederationOptions.h"

#include <charconv>

namespace orq {

std::optional<BrokerAddress> parseBrokerAddress(const std::string& url) {
    BrokerAddress address;
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        address.tls = true;
        address.port = 8883;
    } else {
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    const auto colon = rest.rfind(':');
    address.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = rest.substr(colon + 1);
        int value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535) return std::nullopt;
        address.port = value;
    }
    if (address.host.empty() || address.host.find('/') != std::string::npos) return std::nullopt;
    return address;
}

bool validFacilityName(const std::string& name) {
    return !name.empty() && name.find_first_of("/+#") == std::string::npos;
}

}  // namespace orq
