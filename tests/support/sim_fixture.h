#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"
#include "shell/context.h"
#include "sim/device_simulator.h"
#include "support/fake_host.h"

namespace kstbell::test {

// A simulator on an ephemeral loopback port and a context wired to it with the real socket
// client, scripted host services and a simulated host network on the device network.
struct TSimBench {
    explicit TSimBench(sim::TSimOptions options = DefaultOptions());
    static sim::TSimOptions DefaultOptions();

    sim::TDeviceSimulator Sim;
    TFakeHost Host;
    TSimulatedHostNetwork Network{"127.0.0.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01}};
    TPosixTcpClient Tcp;
    TContext Ctx;
};

// Waits until the simulator's thread has caught up (for requests nobody waits a reply for).
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Whether the simulator's flash holds the file with exactly these bytes (or, for nothing, no
// such file), allowing its thread a moment to finish the data connection.
::testing::AssertionResult SimFileIs(const sim::TDeviceSimulator& sim, const std::string& path,
                                     const std::optional<std::vector<std::uint8_t>>& expected);

}  // namespace kstbell::test
