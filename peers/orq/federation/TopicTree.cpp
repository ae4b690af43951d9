#include "TopicTree.h"

#include <charconv>
#include <vector>

namespace orq {

namespace {

std::vector<std::string> levels(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (;;) {
        const auto slash = text.find('/', start);
        result.push_back(text.substr(start, slash - start));
        if (slash == std::string::npos) return result;
        start = slash + 1;
    }
}

// A level that is a number from 0 to 65535; -1 otherwise.
int number(const std::string& level) {
    int value = -1;
    const auto [end, error] = std::from_chars(level.data(), level.data() + level.size(), value);
    if (error != std::errc() || end != level.data() + level.size() || value < 0 || value > 0xFFFF) return -1;
    return value;
}

}  // namespace

std::string TopicTree::hub(int workstation) const { return root_ + "hub/" + std::to_string(workstation); }

std::string TopicTree::state(int device, int index) const {
    return root_ + "state/" + std::to_string(device) + "/" + std::to_string(index);
}

std::string TopicTree::batch(int device) const { return root_ + "batch/" + std::to_string(device); }

std::string TopicTree::locks(int device) const { return root_ + "locks/" + std::to_string(device); }

std::string TopicTree::name(int device, int database, int index) const {
    return root_ + "names/" + std::to_string(device) + "/" + std::to_string(database) + "/" + std::to_string(index);
}

std::string TopicTree::command(int device) const { return root_ + "command/" + std::to_string(device); }

std::optional<TopicRef> TopicTree::parse(const std::string& topic) const {
    if (topic.rfind(root_, 0) != 0) return std::nullopt;
    std::vector<std::string> parts = levels(topic.substr(root_.size()));
    const bool alive = parts.size() == 3 && parts[0] == "hub" && parts[2] == "alive";
    if (alive) parts.pop_back();
    std::vector<int> numbers;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        numbers.push_back(number(parts[i]));
        if (numbers.back() < 0 && parts[0] != "message") return std::nullopt;
    }
    const std::string& head = parts[0];
    TopicRef ref;
    if (head == "hub" && numbers.size() == 1) {
        ref.kind = alive ? TopicKind::alive : TopicKind::hub;
        ref.workstation = numbers[0];
    } else if (head == "state" && numbers.size() == 2) {
        ref = {TopicKind::state, 0, numbers[0], numbers[1], 0};
    } else if (head == "batch" && numbers.size() == 1) {
        ref = {TopicKind::batch, 0, numbers[0], 0, 0};
    } else if (head == "locks" && numbers.size() == 1) {
        ref = {TopicKind::locks, 0, numbers[0], 0, 0};
    } else if (head == "names" && numbers.size() == 3) {
        ref = {TopicKind::name, 0, numbers[0], numbers[2], numbers[1]};
    } else if (head == "command" && numbers.size() == 1) {
        ref = {TopicKind::command, 0, numbers[0], 0, 0};
    } else if (topic == deviceMessages()) {
        ref.kind = TopicKind::deviceMessage;
    } else if (topic == configMessages()) {
        ref.kind = TopicKind::configMessage;
    } else {
        return std::nullopt;
    }
    return ref;
}

}  // namespace orq
