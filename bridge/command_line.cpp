#include "bridge/command_line.h"

#include <charconv>

#include "mqtt/topics.h"
#include "site/device_list.h"

namespace kstbell::bridge {

const char* const kUsage =
    "usage: kstbell-bridge [--config FILE] [--broker URL] [-d ADDR]... [--base TOPIC]\n"
    "                      [--simulate N]\n"
    "  --config FILE   TOML configuration (see kstbell-bridge.example.toml)\n"
    "  --broker URL    mqtt://HOST[:PORT] or mqtts://HOST[:PORT]\n"
    "  -d ADDR         a horn's address or a range A.B.C.D/N; repeatable\n"
    "  --base TOPIC    base topic (default kstbell)\n"
    "  --simulate N    bridge N simulated horns on 127.0.78.1 and up, in this process\n"
    "  --version       print the version\n";

bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line,
                      std::string& error) {
    TCommandLine parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            parsed.Help = true;
            continue;
        }
        if (a == "--version") {
            parsed.Version = true;
            continue;
        }
        const bool takesValue = a == "--config" || a == "--broker" || a == "-d" ||
                                a == "--device" || a == "--base" || a == "--simulate";
        if (!takesValue) {
            error = "unknown option " + a;
            return false;
        }
        if (i + 1 >= args.size()) {
            error = a + " needs a value";
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--config") {
            parsed.ConfigPath = v;
        } else if (a == "--broker") {
            mqtt::TBrokerUrl url;
            if (!mqtt::ParseBrokerUrl(v, url, error)) return false;
            parsed.Broker = v;
        } else if (a == "-d" || a == "--device") {
            std::vector<std::string> expanded;
            if (!site::ExpandTarget(v, expanded, error)) {
                error = a + " " + v + ": " + error;
                return false;
            }
            parsed.Devices.push_back(v);
        } else if (a == "--base") {
            if (const auto why = mqtt::TopicPrefixProblem(v)) {
                error = "--base: the base topic " + *why;
                return false;
            }
            parsed.Base = v;
        } else {
            std::size_t n = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n == 0 || n > kMaxSimulated) {
                error = "--simulate needs a count from 1 to " + std::to_string(kMaxSimulated);
                return false;
            }
            parsed.Simulate = n;
        }
    }
    if (parsed.Simulate && !parsed.Devices.empty()) {
        error = "--simulate and -d exclude each other";
        return false;
    }
    line = parsed;
    return true;
}

void ApplyCommandLine(const TCommandLine& line, mqtt::TBridgeConfig& config) {
    if (line.Broker) config.BrokerUrl = *line.Broker;
    if (line.Base) config.BaseTopic = *line.Base;
    if (!line.Devices.empty()) {
        config.Devices.clear();
        for (const auto& d : line.Devices)
            config.Devices.push_back({d, {}, {}});
    }
}

}  // namespace kstbell::bridge
