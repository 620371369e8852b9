#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "link/device_link.h"
#include "link/tcp_client_posix.h"
#include "sim/device_simulator.h"
#include "support/fake_host.h"

namespace kstbell::test {

// A simulator on an ephemeral loopback port and a context wired to it with the real socket
// client, scripted host services and a locator that finds the device.
struct TSimBench {
    explicit TSimBench(sim::TSimOptions options = DefaultOptions());
    static sim::TSimOptions DefaultOptions();

    sim::TDeviceSimulator Sim;
    TFakeHost Host;
    TFakeLocator Locator;
    TPosixTcpClient Tcp;
    TContext Ctx;
};

// Waits until the simulator's thread has caught up (for requests nobody waits a reply for).
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace kstbell::test
