// How a hub joins the facility's other hubs through an MQTT broker. Plain
// settings only: every build carries them, only builds with libmosquitto
// act on them.
#pragma once

#include <optional>
#include <string>

namespace orq {

struct FederationOptions {
    // mqtt://HOST:PORT (or mqtts://HOST:PORT with caFile); empty: the hub
    // serves its own workstation only, as it always did.
    std::string broker;
    std::string facility;  // the first level below zorv/ in every topic
    int workstation = 0;   // 0: [Network] Workstation of orq.ini
    std::string user;
    std::string passwordFile;  // its first line is the password
    std::string caFile;        // TLS: the broker's certificate authority
    int keepAliveSeconds = 10;
};

struct BrokerAddress {
    std::string host;
    int port = 1883;
    bool tls = false;
};

// "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]"; nothing for anything else.
std::optional<BrokerAddress> parseBrokerAddress(const std::string& url);

// A facility name that is one topic level: not empty, no '/', '+' or '#'.
bool validFacilityName(const std::string& name);

}  // namespace orq
