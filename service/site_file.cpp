#include "service/site_file.h"

#include <algorithm>
#include <cstdlib>

#include "alarms/alarm_config.h"
#include "mqtt/config_file.h"
#include "service/site_file_parts.h"

namespace kstbell::service {

namespace {

// Top-level tables besides the bridge's.
const std::vector<std::string> kOwnSections = {"site", "groups", "schedule", "alarms", "http"};

// The line of a "FILE:LINE: ..." message, 0 when it has none.
unsigned long LineOf(const std::string& error, const std::string& path) {
    if (error.compare(0, path.size() + 1, path + ":") != 0) return 0;
    return std::strtoul(error.c_str() + path.size() + 1, nullptr, 10);
}

class TSiteReader {
  public:
    TSiteReader(const std::string& path, const std::optional<TDeviceOverride>& devices)
        : path_(path), devices_(devices), values_(path, mine_) {}

    bool Read(const toml::table& root, TServiceConfig& out, std::vector<std::string>& errors) {
        TServiceConfig c;
        c.Path = path_;
        c.HasBroker = root.contains("broker");
        mqtt::TConfigHooks hooks;
        hooks.OtherSections = kOwnSections;
        hooks.HornKey = [this](std::size_t entry, const std::string& key, const toml::node& v) {
            return inputKeys_.Read(entry, key, v, values_);
        };
        mqtt::ReadConfigTable(root, path_, c.Bridge, strings_, hooks);
        if (const toml::node* http = root.get("http")) {
            c.Http.emplace();
            ReadHttpSection(*http, values_, *c.Http);
        }
        if (const toml::node* site = root.get("site")) ReadSiteSection(*site, values_, c.Site);
        calendar::ReadCalendarConfig(root, path_, c.Calendar, mine_);
        alarms::ReadAlarms(root, path_, c.Alarms, strings_);

        std::vector<std::size_t> entryOf;
        Horns(root, c, entryOf);
        c.Groups.push_back({kAllGroup, {}});
        for (std::size_t i = 0; i < c.Horns.size(); ++i)
            c.Groups.front().Horns.push_back(i);
        if (const toml::node* groups = root.get("groups"))
            ReadGroups(*groups, c.Horns, values_, c.Groups);
        c.Inputs = inputKeys_.Rules(entryOf, c.Alarms, values_);
        const auto exists = [&c](const std::string& group) {
            return c.FindGroup(group) != nullptr;
        };
        calendar::CheckBellGroups(c.Calendar, path_, exists, mine_);
        alarms::CheckAlarmGroups(root, path_, exists, strings_);

        for (const auto& e : mine_)
            strings_.push_back(calendar::FormatConfigError(e));
        std::stable_sort(strings_.begin(), strings_.end(), [this](const auto& a, const auto& b) {
            return LineOf(a, path_) < LineOf(b, path_);
        });
        errors.insert(errors.end(), strings_.begin(), strings_.end());
        if (!strings_.empty()) return false;
        out = std::move(c);
        return true;
    }

  private:
    // The horns: the file's devices, or the ones that replace them.
    void Horns(const toml::table& root, TServiceConfig& c, std::vector<std::size_t>& entryOf) {
        if (devices_) {
            c.Bridge.Devices.clear();
            for (const auto& address : devices_->Addresses)
                c.Bridge.Devices.push_back({address, {}, {}});
            c.Bridge.DevicePort = devices_->Port;
        }
        std::string why;
        if (!mqtt::ExpandDevices(c.Bridge.Devices, c.Bridge.MaxHorns, c.Horns, entryOf, why)) {
            values_.FailAt(1, "devices", why);
        } else if (c.Horns.empty()) {
            const toml::node* devices = root.get("devices");
            values_.FailAt(devices ? devices->source().begin.line : 1, "devices",
                           "no horns: give addresses = [...] or [[devices.horn]] tables");
        }
    }

    std::string path_;
    const std::optional<TDeviceOverride>& devices_;
    std::vector<calendar::TConfigError> mine_;
    std::vector<std::string> strings_;
    calendar::TConfigValues values_;
    THornInputKeys inputKeys_;
};

bool ReadRoot(const toml::table& root, const std::string& path, TServiceConfig& config,
              std::vector<std::string>& errors, const std::optional<TDeviceOverride>& devices) {
    return TSiteReader(path, devices).Read(root, config, errors);
}

}  // namespace

const TGroup* TServiceConfig::FindGroup(const std::string& name) const {
    const auto found =
        std::find_if(Groups.begin(), Groups.end(), [&](const TGroup& g) { return g.Name == name; });
    return found == Groups.end() ? nullptr : &*found;
}

const alarms::TAlarm* TServiceConfig::FindAlarm(const std::string& name) const {
    const auto found = std::find_if(Alarms.begin(), Alarms.end(),
                                    [&](const alarms::TAlarm& a) { return a.Name == name; });
    return found == Alarms.end() ? nullptr : &*found;
}

bool ReadSiteFile(const std::string& path, TServiceConfig& config, std::vector<std::string>& errors,
                  const std::optional<TDeviceOverride>& devices) {
    toml::table root;
    try {
        root = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        errors.push_back(mqtt::ParseErrorText(path, e));
        return false;
    }
    return ReadRoot(root, path, config, errors, devices);
}

bool ReadSiteText(const std::string& text, const std::string& path, TServiceConfig& config,
                  std::vector<std::string>& errors, const std::optional<TDeviceOverride>& devices) {
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        errors.push_back(mqtt::ParseErrorText(path, e));
        return false;
    }
    return ReadRoot(root, path, config, errors, devices);
}

}  // namespace kstbell::service
