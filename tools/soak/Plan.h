// What a soak run does, computed alike by the driver and by every client
// process from the same parameters: which indexes each client registers,
// which value every command of every round carries, and so which revertives
// each client must receive, in which order.
#pragma once

#include <string>
#include <vector>

namespace soak {

constexpr int kRouter = 1;      // router device: destinations 1..destinations, and the round marker
constexpr int kInfodriver = 2;  // infodriver device: slots 1..destinations
constexpr int kSources = 1000;  // the router's sources

struct Parameters {
    int processes = 4;
    int clientsPerProcess = 4;
    int destinations = 2000;      // per device
    int registrations = 8000;     // indexes registered, all clients together
    long revertives = 1'000'000;  // revertives to deliver, all clients together (rounded up to whole rounds)
    std::string transport = "wm";  // of the clients, and of the commands
    int senders = 1;               // threads that send the commands, each with a client of its own
    int timeoutSeconds = 600;
    // Bad neighbours: after the cycles without them, the same cycles again
    // with a client that stops pumping and one that floods the hub with posts.
    bool deaf = false;
    bool flood = false;
};

// A range of indexes of one device, first..last.
struct Range {
    int device;
    int first;
    int last;
};

class Plan {
public:
    explicit Plan(const Parameters& parameters) : p_(parameters) {}

    int clients() const { return p_.processes * p_.clientsPerProcess; }
    int destinations() const { return p_.destinations; }
    // The router destination past the others that every client registers:
    // each round ends with a command on it.
    int marker() const { return p_.destinations + 1; }

    // Indexes a client registers, split between the two devices.
    int perClient() const { return p_.registrations / clients(); }

    // Each round sends one command to every index of both devices, and the
    // round marker; a round delivers perClient() revertives to each client.
    long perRound() const { return static_cast<long>(perClient()) * clients(); }
    long rounds() const { return perRound() == 0 ? 0 : (p_.revertives + perRound() - 1) / perRound(); }

    // The ranges of client `client` (0-based over all processes): a window of
    // perClient()/2 indexes on each device, the windows of the clients spread
    // evenly over the device so that neighbours overlap when they are wide.
    std::vector<Range> ranges(int client) const {
        std::vector<Range> all;
        const int routerCount = (perClient() + 1) / 2;
        addWindow(all, kRouter, client, routerCount);
        addWindow(all, kInfodriver, client, perClient() - routerCount);
        all.push_back({kRouter, marker(), marker()});
        return all;
    }

    // The source of round `round`'s command on a router destination or the marker.
    static int source(long round, int destination) { return 1 + static_cast<int>((round + destination) % kSources); }
    // The text of round `round`'s slot write: the round, then "@" and the
    // time it was sent (Latency::nowUs), from which a client measures how
    // long its revertive took.
    static std::string text(long round, long long sentUs) {
        return std::to_string(round) + "@" + std::to_string(sentUs);
    }

private:
    void addWindow(std::vector<Range>& all, int device, int client, int count) const {
        if (count <= 0) return;
        const int destinationsCount = p_.destinations;
        const int first = static_cast<int>(static_cast<long>(client) * destinationsCount / clients());
        const int end = first + (count < destinationsCount ? count : destinationsCount);  // 0-based, exclusive
        all.push_back({device, first + 1, (end < destinationsCount ? end : destinationsCount)});
        if (end > destinationsCount) all.push_back({device, 1, end - destinationsCount});  // wraps round
    }

    Parameters p_;
};

}  // namespace soak
