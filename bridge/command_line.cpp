#include "bridge/command_line.h"

#include <charconv>

#include "mqtt/topics.h"
#include "sim/program_options.h"
#include "site/device_list.h"

namespace kstbell::bridge {

namespace {

using sim::TUsageMistake;

const char* const kBridgeDescription =
    "kstbell-bridge: the alarm horns on an MQTT broker, with discovery for home and building "
    "automation.\nThe options override the configuration file.";

const std::vector<sim::TExitStatus> kBridgeExitCodes = {
    {0, "stopped by SIGTERM or SIGINT, after publishing every horn offline; --help, --version"},
    {kBridgeExitFailed, "the simulated horns (--simulate) did not start"},
    {kBadConfiguration,
     "a mistake in the options or the configuration file, a password file that cannot be "
     "read, no horns to bridge, or a broker link that cannot start"},
};

void AddBridgeOptions(CLI::App& app, TCommandLine& line) {
    sim::AddConfigOption(app, line.ConfigPath,
                         "TOML configuration (see kstbell-bridge.example.toml)");
    app.add_option_function<std::string>(
           "--broker", [&line](const std::string& url) { line.Broker = url; },
           "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
        ->type_name("URL");
    app.add_option("-d,--device", line.Devices, "a horn's address or a range A.B.C.D/N; repeatable")
        ->type_name("ADDR")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option_function<std::string>(
           "--base", [&line](const std::string& topic) { line.Base = topic; },
           "base topic (default kstbell)")
        ->type_name("TOPIC");
    app.add_option_function<std::string>(
           "--simulate",
           [&line](const std::string& v) {
               std::size_t n = 0;
               const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
               if (ec != std::errc() || end != v.data() + v.size() || n == 0 || n > kMaxSimulated)
                   throw TUsageMistake("--simulate needs a count from 1 to " +
                                       std::to_string(kMaxSimulated));
               line.Simulate = n;
           },
           "bridge N simulated horns on 127.0.78.1 and up, in this process")
        ->type_name("N");
}

// The values the parser takes as they come, checked as the bridge would use them.
void CheckBridgeLine(const TCommandLine& line) {
    std::string error;
    mqtt::TBrokerUrl url;
    if (line.Broker && !mqtt::ParseBrokerUrl(*line.Broker, url, error)) throw TUsageMistake(error);
    for (const std::string& target : line.Devices) {
        std::vector<std::string> expanded;
        if (!site::ExpandTarget(target, expanded, error))
            throw TUsageMistake("-d " + target + ": " + error);
    }
    if (line.Base)
        if (const auto why = mqtt::TopicPrefixProblem(*line.Base))
            throw TUsageMistake("--base: the base topic " + *why);
    if (line.Simulate && !line.Devices.empty())
        throw TUsageMistake("--simulate and -d exclude each other");
}

void BuildBridgeLine(CLI::App& app, TCommandLine& line) {
    sim::SetUpProgram(app, "kstbell-bridge", kBridgeExitCodes);
    AddBridgeOptions(app, line);
}

}  // namespace

std::optional<int> ParseProgramLine(const std::vector<std::string>& args, TCommandLine& line,
                                    std::ostream& out, std::ostream& err) {
    TCommandLine parsed;
    CLI::App app(kBridgeDescription, "kstbell-bridge");
    BuildBridgeLine(app, parsed);
    if (const auto exit =
            sim::ParseProgramLine(app, args, out, err, [&parsed] { CheckBridgeLine(parsed); }))
        return exit;
    line = std::move(parsed);
    return std::nullopt;
}

bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line,
                      std::string& error) {
    TCommandLine parsed;
    CLI::App app(kBridgeDescription, "kstbell-bridge");
    BuildBridgeLine(app, parsed);
    try {
        sim::ParseArguments(app, args, [&parsed] { CheckBridgeLine(parsed); });
    } catch (const CLI::ParseError& e) {
        error = e.get_exit_code() == 0 ? "--help and --version print rather than parse"
                                       : sim::UsageMistakeText(e);
        return false;
    }
    line = std::move(parsed);
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
