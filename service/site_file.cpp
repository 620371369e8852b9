#include "service/site_file.h"

#include <algorithm>

#include "alarms/alarm_config.h"
#include "config/reader.h"
#include "mqtt/config_file.h"
#include "service/site_file_parts.h"

namespace kstbell::service {

namespace {

// Top-level tables besides the bridge's.
const std::vector<std::string> kOwnSections = {"site", "groups", "schedule", "alarms", "http"};

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
        mqtt::ReadConfigTable(root, path_, c.Bridge, shared_, hooks);
        if (const toml::node* http = root.get("http")) {
            c.Http.emplace();
            ReadHttpSection(*http, values_, *c.Http);
        }
        if (const toml::node* site = root.get("site")) ReadSiteSection(*site, values_, c.Site);
        calendar::ReadCalendarConfig(root, path_, c.Calendar, mine_);
        alarms::ReadAlarms(root, path_, c.Alarms, shared_);

        std::vector<std::size_t> entryOf;
        Horns(root, c, entryOf);
        c.Groups.push_back({kAllGroup, {}});
        for (std::size_t i = 0; i < c.Horns.size(); ++i)
            c.Groups.front().Horns.push_back(i);
        c.GroupsGiven = root.contains("groups");
        if (const toml::node* groups = root.get("groups"))
            ReadGroups(*groups, c.Horns, values_, c.Groups);
        c.Inputs = inputKeys_.Rules(entryOf, c.Alarms, values_);
        const auto exists = [&c](const std::string& group) {
            return c.FindGroup(group) != nullptr;
        };
        calendar::CheckBellGroups(c.Calendar, path_, exists, mine_);
        alarms::CheckAlarmGroups(root, path_, exists, shared_);

        // Every mistake in line order; on one line, the bridge's and the alarms' come first.
        std::vector<config::TError> all = shared_;
        all.insert(all.end(), mine_.begin(), mine_.end());
        config::SortByLine(all);
        for (auto& line : config::FormatErrors(all))
            errors.push_back(std::move(line));
        if (!all.empty()) return false;
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
    std::vector<config::TError> shared_;  // the bridge's keys' and the alarms'
    std::vector<config::TError> mine_;    // the service's own sections' and the calendar's
    config::TReader values_;
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
    std::string error;
    const auto root = config::ParseFile(path, error);
    if (!root) {
        errors.push_back(error);
        return false;
    }
    return ReadRoot(*root, path, config, errors, devices);
}

bool ReadSiteText(const std::string& text, const std::string& path, TServiceConfig& config,
                  std::vector<std::string>& errors, const std::optional<TDeviceOverride>& devices) {
    std::string error;
    const auto root = config::ParseText(text, path, error);
    if (!root) {
        errors.push_back(error);
        return false;
    }
    return ReadRoot(*root, path, config, errors, devices);
}

}  // namespace kstbell::service
