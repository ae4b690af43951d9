#include "Payloads.h"

#include <windows.h>

#include <nlohmann/json.hpp>

namespace orq {

namespace {

using nlohmann::json;

std::string convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return text;
    const int wide = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wide <= 0) return {};
    std::basic_string<WCHAR> buffer(static_cast<std::size_t>(wide), WCHAR(0));
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), buffer.data(), wide);
    const int bytes = WideCharToMultiByte(to, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(to, 0, buffer.data(), wide, result.data(), bytes, nullptr, nullptr);
    return result;
}

std::string utf8(const std::string& ansi) { return convert(ansi, CP_ACP, CP_UTF8); }
std::string ansi(const std::string& utf8) { return convert(utf8, CP_UTF8, CP_ACP); }

// A hub or device number as it may appear in a payload: 0..65535.
int bounded(const json& value) {
    const int number = value.get<int>();
    if (number < 0 || number > 0xFFFF) throw std::out_of_range("number out of range");
    return number;
}

template <typename T, typename Read>
std::optional<T> decode(const std::string& payload, Read read) {
    try {
        const json object = json::parse(payload);
        T result;
        read(object, result);
        return result;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

json stateObject(const StateUpdate& update) {
    return json{{"seq", update.seq}, {"value", utf8(update.value)}, {"workstation", update.workstation}};
}

void readState(const json& object, StateUpdate& update) {
    update.seq = object.at("seq").get<std::uint64_t>();
    update.value = ansi(object.at("value").get<std::string>());
    update.workstation = bounded(object.at("workstation"));
}

}  // namespace

std::string encode(const HubStatus& status) {
    return json{{"workstation", status.workstation},
                {"state", status.online ? "online" : "offline"},
                {"devices", status.devices},
                {"keepalive", status.keepAliveSeconds}}
        .dump();
}

std::string encode(const StateUpdate& update) { return stateObject(update).dump(); }

std::string encode(const StateBatch& batch) {
    json states = json::array();
    for (const auto& [index, update] : batch.states) {
        json entry = stateObject(update);
        entry["index"] = index;
        states.push_back(std::move(entry));
    }
    return json{{"states", std::move(states)}}.dump();
}

std::string encode(const LockUpdate& update) {
    json locks = json::object();
    for (const auto& [index, workstation] : update.locks) locks[std::to_string(index)] = workstation;
    return json{{"seq", update.seq}, {"locks", locks}}.dump();
}

std::string encode(const NameUpdate& update) { return json{{"seq", update.seq}, {"name", utf8(update.name)}}.dump(); }

std::string encode(const Relayed& relayed) {
    return json{{"from", relayed.from}, {"target", relayed.target}, {"text", utf8(relayed.text)}}.dump();
}

std::optional<HubStatus> decodeStatus(const std::string& payload) {
    return decode<HubStatus>(payload, [](const json& object, HubStatus& status) {
        status.workstation = bounded(object.at("workstation"));
        status.online = object.at("state").get<std::string>() == "online";
        if (object.contains("devices")) {
            for (const json& device : object.at("devices")) status.devices.push_back(bounded(device));
        }
        if (object.contains("keepalive")) status.keepAliveSeconds = bounded(object.at("keepalive"));
    });
}

std::optional<StateUpdate> decodeState(const std::string& payload) {
    return decode<StateUpdate>(payload, readState);
}

std::optional<StateBatch> decodeBatch(const std::string& payload) {
    return decode<StateBatch>(payload, [](const json& object, StateBatch& batch) {
        for (const json& entry : object.at("states")) {
            StateUpdate update;
            readState(entry, update);
            batch.states.emplace_back(bounded(entry.at("index")), std::move(update));
        }
    });
}

std::optional<LockUpdate> decodeLocks(const std::string& payload) {
    return decode<LockUpdate>(payload, [](const json& object, LockUpdate& update) {
        update.seq = object.at("seq").get<std::uint64_t>();
        for (const auto& [index, workstation] : object.at("locks").items()) {
            update.locks[bounded(json::parse(index))] = bounded(workstation);
        }
    });
}

std::optional<NameUpdate> decodeName(const std::string& payload) {
    return decode<NameUpdate>(payload, [](const json& object, NameUpdate& update) {
        update.seq = object.at("seq").get<std::uint64_t>();
        update.name = ansi(object.at("name").get<std::string>());
    });
}

std::optional<Relayed> decodeRelayed(const std::string& payload) {
    return decode<Relayed>(payload, [](const json& object, Relayed& relayed) {
        relayed.from = bounded(object.at("from"));
        relayed.target = object.contains("target") ? bounded(object.at("target")) : 0;
        relayed.text = ansi(object.at("text").get<std::string>());
    });
}

}  // namespace orq
