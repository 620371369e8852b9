#include "mqtt/config_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "mqtt/horn_discovery.h"
#include "mqtt/topics.h"
#include "protocol/format_characters.h"
#include "site/device_list.h"

namespace kstbell::mqtt {

namespace {

namespace fs = std::filesystem;

// A configured text in a message: long ones cut short, control characters as "?".
std::string Shown(const std::string& text) {
    constexpr std::size_t kShown = 40;
    std::string shown = text.substr(0, kShown);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text.size() > kShown ? shown + "..." : shown;
}

class TReader {
  public:
    TReader(std::string path, TBridgeConfig& config, const TConfigHooks& hooks,
            std::vector<std::string>& errors)
        : path_(std::move(path)), c_(config), hooks_(hooks), errors_(errors) {
        folder_ = fs::path(path_).parent_path();
    }

    // Reads every key it can, noting every mistake; true when there was none.
    bool Read(const toml::table& root) {
        const std::size_t before = errors_.size();
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
                    Fail(node, name, "unknown section");
                continue;
            }
            const toml::table* table = node.as_table();
            if (!table) {
                Fail(node, name, "must be a table ([" + name + "])");
                continue;
            }
            for (const auto& [inner, value] : *table)
                section->second(std::string(inner.str()), value);
            section_.clear();
        }
        return errors_.size() == before;
    }

  private:
    bool Fail(const toml::node& node, const std::string& key, const std::string& what) {
        const auto line = node.source().begin.line;
        const std::string full = section_.empty() ? key : section_ + "." + key;
        errors_.push_back(path_ + ":" + std::to_string(line) + ": key '" + full + "': " + what);
        return false;
    }

    bool Text(const std::string& key, const toml::node& node, std::string& into) {
        const auto* value = node.as_string();
        if (!value) return Fail(node, key, "must be a string");
        into = value->get();
        return true;
    }

    bool Path(const std::string& key, const toml::node& node, std::string& into) {
        std::string text;
        if (!Text(key, node, text)) return false;
        if (text.empty()) return Fail(node, key, "must not be empty");
        into = fs::path(text).is_absolute() ? text : (folder_ / text).lexically_normal().string();
        return true;
    }

    template <typename T>
    bool Number(const std::string& key, const toml::node& node, T low, T high, T& into) {
        const auto* value = node.as_integer();
        const auto lowest = static_cast<std::int64_t>(low);
        const auto highest = static_cast<std::int64_t>(high);
        if (!value || value->get() < lowest || value->get() > highest)
            return Fail(
                node, key,
                "must be an integer from " + std::to_string(low) + " to " + std::to_string(high));
        into = static_cast<T>(value->get());
        return true;
    }

    bool Broker(const std::string& key, const toml::node& node) {
        section_ = "broker";
        if (key == "url") {
            std::string url;
            TBrokerUrl parsed;
            std::string why;
            if (!Text(key, node, url)) return false;
            if (!ParseBrokerUrl(url, parsed, why)) return Fail(node, key, why);
            c_.BrokerUrl = url;
            return true;
        }
        if (key == "client_id") {
            if (!Text(key, node, c_.ClientId)) return false;
            if (c_.ClientId.empty() || c_.ClientId.size() > 128)
                return Fail(node, key, "must be 1 to 128 characters");
            return true;
        }
        if (key == "username") return Text(key, node, c_.Username);
        if (key == "password") {
            return Fail(node, key, "a password is never written here: use password_file");
        }
        if (key == "password_file") return Path(key, node, c_.PasswordFile);
        if (key == "ca_file") return Path(key, node, c_.CaFile);
        if (key == "cert_file") return Path(key, node, c_.CertFile);
        if (key == "key_file") return Path(key, node, c_.KeyFile);
        if (key == "keepalive_s") return Number(key, node, 5, 3600, c_.KeepAliveSeconds);
        return Fail(node, key, "unknown key");
    }

    bool Topics(const std::string& key, const toml::node& node) {
        section_ = "topics";
        std::string* into = key == "base"               ? &c_.BaseTopic
                            : key == "discovery_prefix" ? &c_.DiscoveryPrefix
                                                        : nullptr;
        if (!into) return Fail(node, key, "unknown key");
        std::string text;
        if (!Text(key, node, text)) return false;
        if (const auto why = TopicPrefixProblem(text)) return Fail(node, key, *why);
        *into = text;
        return true;
    }

    bool Poll(const std::string& key, const toml::node& node) {
        section_ = "poll";
        if (key == "period_ms") return Number(key, node, 100, 3600000, c_.PollPeriodMs);
        if (key == "parallel") return Number<std::size_t>(key, node, 1, 1024, c_.Parallel);
        if (key == "connect_timeout_ms")
            return Number(key, node, 100, kConnectTimeoutMs, c_.ConnectTimeoutMs);
        if (key == "reply_wait_ms")
            return Number(key, node, kReplyPollMs, kReplyPolls * kReplyPollMs, c_.ReplyWaitMs);
        if (key == "info_every") return Number(key, node, 1, 1000000, c_.InfoEveryPolls);
        return Fail(node, key, "unknown key");
    }

    bool Target(const std::string& key, const toml::node& node, std::string& into) {
        std::vector<std::string> expanded;
        std::string why;
        if (!Text(key, node, into)) return false;
        if (!site::ExpandTarget(into, expanded, why)) return Fail(node, key, why);
        return true;
    }

    bool Devices(const std::string& key, const toml::node& node) {
        section_ = "devices";
        if (key == "port") return Number<std::uint16_t>(key, node, 1, 65535, c_.DevicePort);
        if (key == "max_horns")
            return Number<std::size_t>(key, node, 1, kMaxBridgeHorns, c_.MaxHorns);
        if (key == "addresses") {
            const auto* list = node.as_array();
            if (!list) return Fail(node, key, "must be a list of addresses or ranges");
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
        if (key == "horn") {
            const auto* list = node.as_array();
            if (!list) return Fail(node, key, "must be tables ([[devices.horn]])");
            bool ok = true;
            for (const auto& item : *list) {
                const auto* table = item.as_table();
                if (!table) {
                    ok = Fail(item, key, "must be tables ([[devices.horn]])");
                    continue;
                }
                ok = Horn(*table) && ok;
                section_ = "devices";
            }
            return ok;
        }
        return Fail(node, key, "unknown key");
    }

    bool Horn(const toml::table& table) {
        section_ = "devices.horn";
        const std::size_t before = errors_.size();
        TDeviceEntry entry;
        bool haveAddress = false;
        bool addressOk = false;
        for (const auto& [inner, value] : table) {
            const std::string key(inner.str());
            if (key == "address") {
                haveAddress = true;
                addressOk = Target(key, value, entry.Target);
            } else if (key == "name") {
                if (Text(key, value, entry.Name)) {
                    if (const auto invisible = FormatCharacterText(entry.Name))
                        Fail(value, key, "must not hold " + *invisible);
                }
            } else if (key == "input_device_class") {
                if (Text(key, value, entry.InputClass) && !IsInputClass(entry.InputClass))
                    Fail(value, key,
                         "\"" + Shown(entry.InputClass) +
                             "\" is not a binary sensor device class; one of " + InputClassList());
            } else if (!hooks_.HornKey || !hooks_.HornKey(devices_.size(), key, value)) {
                Fail(value, key, "unknown key");
            }
        }
        if (!haveAddress) Fail(table, "address", "is missing");
        if (!entry.Name.empty() && entry.Target.find('/') != std::string::npos)
            Fail(table, "name", "names one horn: give a single address, not a range");
        // A horn with a good address is kept even when another of its keys is wrong, so that
        // what refers to it is not reported wrong as well.
        if (addressOk) devices_.push_back(entry);
        return errors_.size() == before;
    }

  public:
    std::vector<TDeviceEntry> devices_;

  private:
    std::string path_;
    fs::path folder_;
    TBridgeConfig& c_;
    const TConfigHooks& hooks_;
    std::vector<std::string>& errors_;
    std::string section_;
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines)
        all += (all.empty() ? "" : "\n") + line;
    return all;
}

}  // namespace

std::string ParseErrorText(const std::string& path, const toml::parse_error& e) {
    const auto& where = e.source().begin;
    std::string what(e.description());
    if (where.line == 0) what = "cannot be read: " + what;
    return path + ":" + (where.line ? std::to_string(where.line) + ":" : "") + " " + what;
}

bool ReadConfigTable(const toml::table& root, const std::string& path, TBridgeConfig& config,
                     std::vector<std::string>& errors, const TConfigHooks& hooks) {
    TReader reader(path, config, hooks, errors);
    const bool ok = reader.Read(root);
    if (!reader.devices_.empty()) config.Devices = reader.devices_;
    return ok;
}

bool LoadConfigFile(const std::string& path, TBridgeConfig& config, std::string& error) {
    toml::table root;
    try {
        root = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        error = ParseErrorText(path, e);
        return false;
    }
    std::vector<std::string> errors;
    TBridgeConfig read = config;
    if (ReadConfigTable(root, path, read, errors)) {
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
