#include "Output.h"

#include <cstdio>

namespace zorvctl {

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

void Output::line(const std::string& plain, const std::vector<Field>& fields) const {
    if (!json_) {
        std::printf("%s\n", plain.c_str());
    } else {
        std::string object = "{";
        for (const Field& field : fields) {
            if (object.size() > 1) object += ",";
            object += jsonString(field.key) + ":" + (field.number ? field.value : jsonString(field.value));
        }
        std::printf("%s}\n", object.c_str());
    }
    std::fflush(stdout);  // a watcher's lines appear as they come, also through a pipe
}

void printRouter(const Output& out, unsigned device, unsigned dest, int source) {
    out.line("router " + std::to_string(device) + " dest " + std::to_string(dest) + " <- src " + std::to_string(source),
             {text("event", "router"), num("device", device), num("dest", dest), num("src", source)});
}

void printInfo(const Output& out, unsigned device, unsigned slot, const std::string& value) {
    out.line("info " + std::to_string(device) + " slot " + std::to_string(slot) + " = '" + value + "'",
             {text("event", "info"), num("device", device), num("slot", slot), text("text", value)});
}

void printGpi(const Output& out, unsigned device, unsigned index, bool state) {
    out.line("gpi " + std::to_string(device) + " index " + std::to_string(index) + (state ? " on" : " off"),
             {text("event", "gpi"), num("device", device), num("index", index), num("state", state ? 1 : 0)});
}

}  // namespace zorvctl
