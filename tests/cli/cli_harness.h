#pragma once

// Runs kstbellctl in-process against simulated horns: the command line as a vector, what it
// printed, its exit code, and its JSON lines parsed.

#include <atomic>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/run.h"
#include "sim/simulated_site.h"

namespace kstbell::cli::test {

struct TCliResult {
    int Code = -1;
    std::string Out;
    std::string Err;
    // Every line of Out as JSON (a line that is not JSON fails the test).
    std::vector<nlohmann::json> Lines() const;
    // The line about device, or null.
    nlohmann::json LineFor(const std::string& device) const;
};

// No terminal, no waiting for restarts beyond a short grace, a host network on which no
// device network is reachable over Wi-Fi.
TRunEnv TestEnv();

TCliResult RunCli(const std::vector<std::string>& args, const TRunEnv& env = TestEnv());

// A site of simulated horns on consecutive loopback addresses from first, on an ephemeral port.
struct THorns {
    // stateDir, when given, holds each horn's flash files (stateDir/ADDRESS/local/...).
    THorns(const std::string& first, std::size_t count, sim::TSimFaults faults = {},
           const std::string& stateDir = {});
    // -d for every horn (or the given ones), and --port.
    std::vector<std::string> Target() const;
    std::vector<std::string> Target(std::size_t horn) const;
    std::string Address(std::size_t horn) const { return Site.Address(horn); }
    std::string Port() const { return std::to_string(Site.Port()); }
    // A flash file as text, or "(none)".
    std::string File(std::size_t horn, const std::string& path) const;
    // Whether the file becomes expected within a few seconds: the horn stores a file's data
    // after the writer has closed the connection that carried it.
    ::testing::AssertionResult FileIs(std::size_t horn, const std::string& path,
                                      const std::string& expected) const;

    sim::TSimulatedSite Site;
};

// args followed by more.
std::vector<std::string> Join(std::vector<std::string> args, const std::vector<std::string>& more);

// A file in the test's own temporary folder with the given bytes; its path.
std::string TempFile(const std::string& name, const std::string& bytes);

}  // namespace kstbell::cli::test
