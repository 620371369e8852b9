#include "mqtt/config_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>

#include "config/reader.h"
#include "mqtt/horn_discovery.h"
#include "mqtt/topics.h"
#include "protocol/format_characters.h"
#include "site/device_list.h"
#include "text/control.h"

namespace kstbell::mqtt {

namespace {

// A configured text in a message: long ones cut short, control characters as "?".
std::string Shown(const std::string& text) {
    constexpr std::size_t kShown = 40;
    const std::string shown = text::MaskControlBytes(text.substr(0, kShown));
    return text.size() > kShown ? shown + "..." : shown;
}

// The bridge's keys, each named by its full key ("broker.url").
class TKeysReader {
  public:
    TKeysReader(const std::string& path, TBridgeConfig& config, const TConfigHooks& hooks,
                std::vector<config::TError>& errors)
        : values_(path, errors), c_(config), hooks_(hooks) {}

    // Reads every key it can, noting every mistake; true when there was none.
    bool Read(const toml::table& root) {
        const std::size_t before = values_.ErrorCount();
        using TSection = std::function<bool(const std::string&, const toml::node&)>;
        const std::map<std::string, TSection> sections = {
            {"broker", [this](const std::string& k, const toml::node& n) { return Broker(k, n); }},
            {"topics", [this](const std::string& k, const toml::node& n) { return Topics(k, n); }},
            {"poll", [this](const std::string& k, const toml::node& n) { return Poll(k, n); }},
            {"devices",
             [this](const std::string& k, const toml::node& n) { return Devices(k, n); }},
        };
        for (const auto& [key, node] : root) {
            const std::string name(key.str());
            const auto section = sections.find(name);
            if (section == sections.end()) {
                const auto& others = hooks_.OtherSections;
                if (std::find(others.begin(), others.end(), name) == others.end())
                    values_.Fail(node, name, "unknown section");
                continue;
            }
            const toml::table* table = values_.Table(node, name);
            if (!table) continue;
            for (const auto& [inner, value] : *table)
                section->second(name + "." + std::string(inner.str()), value);
        }
        return values_.ErrorCount() == before;
    }

  private:
    bool Fail(const toml::node& node, const std::string& key, const std::string& what) {
        values_.Fail(node, key, what);
        return false;
    }

    bool Unknown(const toml::node& node, const std::string& key) {
        values_.Unknown(node, key);
        return false;
    }

    bool Text(const std::string& key, const toml::node& node, std::string& into) {
        auto text = values_.String(node, key);
        if (text) into = *text;
        return text.has_value();
    }

    bool Path(const std::string& key, const toml::node& node, std::string& into) {
        auto path = values_.Path(node, key);
        if (path) into = *path;
        return path.has_value();
    }

    template <typename T>
    bool Number(const std::string& key, const toml::node& node, T low, T high, T& into) {
        auto number = values_.Integer<T>(node, key, low, high);
        if (number) into = *number;
        return number.has_value();
    }

    bool Broker(const std::string& key, const toml::node& node) {
        if (key == "broker.url") {
            std::string url;
            TBrokerUrl parsed;
            std::string why;
            if (!Text(key, node, url)) return false;
            if (!ParseBrokerUrl(url, parsed, why)) return Fail(node, key, why);
            c_.BrokerUrl = url;
            return true;
        }
        if (key == "broker.client_id") {
            if (!Text(key, node, c_.ClientId)) return false;
            if (c_.ClientId.empty() || c_.ClientId.size() > 128)
                return Fail(node, key, "must be 1 to 128 characters");
            return true;
        }
        if (key == "broker.username") return Text(key, node, c_.Username);
        if (key == "broker.password") {
            return Fail(node, key, "a password is never written here: use password_file");
        }
        if (key == "broker.password_file") return Path(key, node, c_.PasswordFile);
        if (key == "broker.ca_file") return Path(key, node, c_.CaFile);
        if (key == "broker.cert_file") return Path(key, node, c_.CertFile);
        if (key == "broker.key_file") return Path(key, node, c_.KeyFile);
        if (key == "broker.keepalive_s") return Number(key, node, 5, 3600, c_.KeepAliveSeconds);
        return Unknown(node, key);
    }

    bool Topics(const std::string& key, const toml::node& node) {
        std::string* into = key == "topics.base"               ? &c_.BaseTopic
                            : key == "topics.discovery_prefix" ? &c_.DiscoveryPrefix
                                                               : nullptr;
        if (!into) return Unknown(node, key);
        std::string text;
        if (!Text(key, node, text)) return false;
        if (const auto why = TopicPrefixProblem(text)) return Fail(node, key, *why);
        *into = text;
        return true;
    }

    bool Poll(const std::string& key, const toml::node& node) {
        if (key == "poll.period_ms") return Number(key, node, 100, 3600000, c_.PollPeriodMs);
        if (key == "poll.parallel") return Number<std::size_t>(key, node, 1, 1024, c_.Parallel);
        if (key == "poll.connect_timeout_ms")
            return Number(key, node, 100, kConnectTimeoutMs, c_.ConnectTimeoutMs);
        if (key == "poll.reply_wait_ms")
            return Number(key, node, kReplyPollMs, kReplyPolls * kReplyPollMs, c_.ReplyWaitMs);
        if (key == "poll.info_every") return Number(key, node, 1, 1000000, c_.InfoEveryPolls);
        return Unknown(node, key);
    }

    bool Target(const std::string& key, const toml::node& node, std::string& into) {
        std::vector<std::string> expanded;
        std::string why;
        if (!Text(key, node, into)) return false;
        if (!site::ExpandTarget(into, expanded, why)) return Fail(node, key, why);
        return true;
    }

    bool Devices(const std::string& key, const toml::node& node) {
        if (key == "devices.port") return Number<std::uint16_t>(key, node, 1, 65535, c_.DevicePort);
        if (key == "devices.max_horns")
            return Number<std::size_t>(key, node, 1, kMaxBridgeHorns, c_.MaxHorns);
        if (key == "devices.addresses") {
            const auto* list = values_.Array(node, key, "must be a list of addresses or ranges");
            if (!list) return false;
            bool ok = true;
            for (const auto& item : *list) {
                TDeviceEntry entry;
                if (Target(key, item, entry.Target))
                    devices_.push_back(entry);
                else
                    ok = false;
            }
            return ok;
        }
        if (key == "devices.horn") {
            const std::string tables = "must be tables ([[devices.horn]])";
            const auto* list = values_.Array(node, key, tables);
            if (!list) return false;
            bool ok = true;
            for (const auto& item : *list) {
                const auto* table = values_.Table(item, key, tables);
                ok = table && Horn(*table) && ok;
            }
            return ok;
        }
        return Unknown(node, key);
    }

    bool Horn(const toml::table& table) {
        const std::size_t before = values_.ErrorCount();
        TDeviceEntry entry;
        bool haveAddress = false;
        bool addressOk = false;
        for (const auto& [inner, value] : table) {
            const std::string name(inner.str());
            const std::string key = "devices.horn." + name;
            if (name == "address") {
                haveAddress = true;
                addressOk = Target(key, value, entry.Target);
            } else if (name == "name") {
                if (Text(key, value, entry.Name)) {
                    if (const auto invisible = FormatCharacterText(entry.Name))
                        Fail(value, key, "must not hold " + *invisible);
                }
            } else if (name == "input_device_class") {
                if (Text(key, value, entry.InputClass) && !IsInputClass(entry.InputClass))
                    Fail(value, key,
                         "\"" + Shown(entry.InputClass) +
                             "\" is not a binary sensor device class; one of " + InputClassList());
            } else if (!hooks_.HornKey || !hooks_.HornKey(devices_.size(), name, value)) {
                values_.Unknown(value, key);
            }
        }
        if (!haveAddress) values_.Missing(table, "devices.horn.address");
        if (!entry.Name.empty() && entry.Target.find('/') != std::string::npos)
            Fail(table, "devices.horn.name", "names one horn: give a single address, not a range");
        // A horn with a good address is kept even when another of its keys is wrong, so that
        // what refers to it is not reported wrong as well.
        if (addressOk) devices_.push_back(entry);
        return values_.ErrorCount() == before;
    }

  public:
    std::vector<TDeviceEntry> devices_;

  private:
    config::TReader values_;
    TBridgeConfig& c_;
    const TConfigHooks& hooks_;
};

std::string Joined(const std::vector<config::TError>& errors) {
    std::string all;
    for (const auto& error : errors)
        all += (all.empty() ? "" : "\n") + config::FormatError(error);
    return all;
}

}  // namespace

bool ReadConfigTable(const toml::table& root, const std::string& path, TBridgeConfig& config,
                     std::vector<config::TError>& errors, const TConfigHooks& hooks) {
    TKeysReader reader(path, config, hooks, errors);
    const bool ok = reader.Read(root);
    if (!reader.devices_.empty()) config.Devices = reader.devices_;
    return ok;
}

bool LoadConfigFile(const std::string& path, TBridgeConfig& config, std::string& error) {
    const auto root = config::ParseFile(path, error);
    if (!root) return false;
    std::vector<config::TError> errors;
    TBridgeConfig read = config;
    if (ReadConfigTable(*root, path, read, errors)) {
        config = read;
        return true;
    }
    error = Joined(errors);
    return false;
}

bool CheckConfig(const TBridgeConfig& config, std::string& error) {
    TBrokerUrl url;
    if (!ParseBrokerUrl(config.BrokerUrl, url, error)) return false;
    const bool tlsFiles =
        !config.CaFile.empty() || !config.CertFile.empty() || !config.KeyFile.empty();
    if (tlsFiles && !url.Tls) {
        error = "ca_file, cert_file and key_file need an mqtts:// broker URL";
        return false;
    }
    if (config.CertFile.empty() != config.KeyFile.empty()) {
        error = "a client certificate needs both cert_file and key_file";
        return false;
    }
    if (!config.PasswordFile.empty() && config.Username.empty()) {
        error = "password_file needs a username";
        return false;
    }
    const std::pair<const char*, const std::string*> prefixes[] = {
        {"the base topic", &config.BaseTopic}, {"the discovery prefix", &config.DiscoveryPrefix}};
    for (const auto& [what, text] : prefixes) {
        if (const auto why = TopicPrefixProblem(*text)) {
            error = std::string(what) + " " + *why;
            return false;
        }
    }
    return true;
}

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) {
        error = path + ": the password file cannot be read";
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
        error = path + ": the password file's first line is empty";
        return false;
    }
    password = line;
    return true;
}

}  // namespace kstbell::mqtt
