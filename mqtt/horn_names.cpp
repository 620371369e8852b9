#include "mqtt/horn_names.h"

#include "mqtt/messages.h"

namespace kstbell::mqtt {

namespace {

std::string Trimmed(const std::string& name) {
    const auto first = name.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

// The name as people would tell it apart: without the spaces around it, in lower case.
std::string Key(const std::string& name) {
    std::string key = Trimmed(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

}  // namespace

std::vector<std::string> DeviceNames(const std::vector<THornIdentity>& horns) {
    THornNames names(horns.size());
    for (std::size_t i = 0; i < horns.size(); ++i)
        names.Set(i, horns[i]);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < horns.size(); ++i)
        out.push_back(names.Name(i));
    return out;
}

THornNames::THornNames(std::size_t horns) : identity_(horns), key_(horns), name_(horns) {}

std::vector<std::size_t> THornNames::Set(std::size_t index, std::optional<THornIdentity> identity) {
    std::set<std::size_t> affected{index};
    if (identity_.at(index)) {
        auto& sharing = byKey_[key_[index]];
        sharing.erase(index);
        affected.insert(sharing.begin(), sharing.end());
        if (sharing.empty()) byKey_.erase(key_[index]);
    }
    identity_[index] = std::move(identity);
    if (identity_[index]) {
        key_[index] = Key(DisplayName(*identity_[index]));
        auto& sharing = byKey_[key_[index]];
        sharing.insert(index);
        affected.insert(sharing.begin(), sharing.end());
    } else {
        key_[index].clear();
    }
    std::vector<std::size_t> changed;
    for (const std::size_t h : affected) {
        std::string name;
        if (const auto& id = identity_[h]) {
            name = DisplayName(*id);
            if (byKey_.at(key_[h]).size() > 1 && id->Id.size() == 12)
                name = Trimmed(name) + " (" + id->Id.substr(6) + ")";
        }
        if (name != name_[h]) {
            name_[h] = std::move(name);
            changed.push_back(h);
        }
    }
    return changed;
}

}  // namespace kstbell::mqtt
