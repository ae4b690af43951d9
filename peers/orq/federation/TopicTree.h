// The facility's topics, all below zorv/<facility>/ (FEDERATION.md):
//   hub/<ws>                      a hub's status, with its will     retained
//   hub/<ws>/alive                a hub's heartbeat                 not retained
//   state/<device>/<index>        an index's state, by its owner    retained
//   batch/<device>                changed states, live, by its owner  not retained
//   locks/<device>                a device's locks, by its owner    retained
//   names/<device>/<db>/<index>   a changed name, by its owner      retained
//   command/<device>              a command for the owner           not retained
//   message/device                device messages (NS)              not retained
//   message/config                configuration-change messages     not retained
#pragma once

#include <optional>
#include <string>

namespace orq {

enum class TopicKind { hub, alive, state, batch, locks, name, command, deviceMessage, configMessage };

struct TopicRef {
    TopicKind kind = TopicKind::hub;
    int workstation = 0;  // hub
    int device = 0;       // state, batch, locks, name, command
    int index = 0;        // state, name
    int database = 0;     // name
};

class TopicTree {
public:
    explicit TopicTree(const std::string& facility) : root_("zorv/" + facility + "/") {}

    std::string everything() const { return root_ + "#"; }
    std::string hub(int workstation) const;
    std::string alive(int workstation) const { return hub(workstation) + "/alive"; }
    std::string state(int device, int index) const;
    std::string batch(int device) const;
    std::string locks(int device) const;
    std::string name(int device, int database, int index) const;
    std::string command(int device) const;
    std::string deviceMessages() const { return root_ + "message/device"; }
    std::string configMessages() const { return root_ + "message/config"; }

    // The topic's meaning; nothing for a topic outside the tree or with
    // numbers out of range.
    std::optional<TopicRef> parse(const std::string& topic) const;

private:
    std::string root_;
};

}  // namespace orq
