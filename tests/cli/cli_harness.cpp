#include "cli_harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/survey_simulated.h"

namespace kstbell::cli::test {

std::vector<nlohmann::json> TCliResult::Lines() const {
    std::vector<nlohmann::json> lines;
    std::istringstream in(Out);
    for (std::string line; std::getline(in, line);) {
        auto parsed = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << "not JSON: " << line;
        lines.push_back(std::move(parsed));
    }
    return lines;
}

nlohmann::json TCliResult::LineFor(const std::string& device) const {
    for (const auto& line : Lines())
        if (line.value("device", "") == device) return line;
    return nullptr;
}

TRunEnv TestEnv() {
    TRunEnv env;
    env.RestartGraceMs = 100;
    env.RestartLimitMs = 10000;
    env.MakeNetwork = [] {
        return std::make_unique<TSimulatedHostNetwork>(
            "127.0.88.23", std::array<std::uint8_t, 6>{2, 0, 0, 0, 0, 1});
    };
    return env;
}

TCliResult RunCli(const std::vector<std::string>& args, const TRunEnv& env) {
    std::vector<const char*> argv{"kstbellctl"};
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out;
    std::ostringstream err;
    TCliResult r;
    r.Code = Run(static_cast<int>(argv.size()), argv.data(), out, err, env);
    r.Out = out.str();
    r.Err = err.str();
    return r;
}

namespace {

sim::TSiteOptions SiteOptions(const std::string& first, std::size_t count, sim::TSimFaults f,
                              const std::string& stateDir) {
    sim::TSiteOptions options;
    options.Horns.StateDir = stateDir;
    options.Horns.BindAddress = first;
    options.Horns.Port = 0;
    options.Horns.Faults = f;
    options.Count = count;
    return options;
}

}  // namespace

THorns::THorns(const std::string& first, std::size_t count, sim::TSimFaults faults,
               const std::string& stateDir)
    : Site(SiteOptions(first, count, faults, stateDir)) {
    Site.Start();
}

std::vector<std::string> THorns::Target() const {
    std::vector<std::string> args{"--port", Port()};
    for (std::size_t i = 0; i < Site.Count(); ++i) {
        args.push_back("-d");
        args.push_back(Site.Address(i));
    }
    return args;
}

std::vector<std::string> THorns::Target(std::size_t horn) const {
    return {"--port", Port(), "-d", Site.Address(horn)};
}

std::string THorns::File(std::size_t horn, const std::string& path) const {
    const auto bytes = Site.ReadFile(horn, path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "(none)";
}

::testing::AssertionResult THorns::FileIs(std::size_t horn, const std::string& path,
                                          const std::string& expected) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (File(horn, path) != expected && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string now = File(horn, path);
    if (now == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << path << " is \"" << now << "\", not \"" << expected << "\"";
}

std::vector<std::string> Join(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::string TempFile(const std::string& name, const std::string& bytes) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kstbellctl-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = (dir / name).string();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

}  // namespace kstbell::cli::test
