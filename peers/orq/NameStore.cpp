#include "NameStore.h"

#include <climits>

#include "zorvText.h"

namespace orq {

std::string NameStore::sectionName(int database) { return "Database_" + std::to_string(database); }

NameStore::Table& NameStore::table(int device, int database) {
    auto it = tables_.find({device, database});
    if (it != tables_.end()) return it->second;
    Table& names = tables_[{device, database}];
    for (const auto& [key, value] : files_.readDevice(device, sectionName(database))) {
        const int index = wireToInt(key);
        if (index > 0) names.emplace(index, value);
    }
    return names;
}

std::optional<std::string> NameStore::name(int device, int database, int index) {
    const Table& names = table(device, database);
    auto it = names.find(index);
    if (it == names.end()) return std::nullopt;
    return it->second;
}

int NameStore::indexOf(int device, int database, const std::string& wanted) {
    for (const auto& [index, name] : table(device, database)) {
        if (name == wanted) return index;
    }
    return 0;
}

void NameStore::rename(int device, int database, int index, const std::string& name) {
    table(device, database)[index] = name;
    // Rewrite the section from the file as it is now, so that edits made to
    // other keys by hand meanwhile are kept.
    const std::string section = sectionName(database);
    qxConfig::SectionMap entries = files_.readDevice(device, section);
    for (auto it = entries.begin(); it != entries.end();) {
        it = wireToInt(it->first) == index ? entries.erase(it) : std::next(it);
    }
    entries[std::to_string(index)] = name;
    files_.writeDevice(device, section, entries);
}

void NameStore::flush(int device) {
    if (device == 0) {
        tables_.clear();
        return;
    }
    tables_.erase(tables_.lower_bound({device, INT_MIN}), tables_.upper_bound({device, INT_MAX}));
}

}  // namespace orq
