#pragma once

// What a simulated horn is started with and what a test may read back from it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/request_record.h"
#include "sim/sim_faults.h"

namespace kstbell::sim {

struct TSimOptions {
    std::string BindAddress = "127.0.77.1";
    std::uint16_t Port = 13577;  // 0 = an ephemeral port, see Port() of the simulator
    std::uint8_t Model = 186;
    std::string StateDir;  // flash files kept here across runs; empty = in memory
    std::optional<std::string> ReportedAddress;  // address put in the information reply;
                                                 // default: BindAddress
    TSimFaults Faults;
    bool LogToStderr = false;  // one line per request
    // When set, every change of a horn's relay is appended to this file (see TRelayLog).
    std::string RelayLogPath;
};

// The device's state as a test may inspect it.
struct TSimSnapshot {
    std::uint8_t Relay = 0;  // output state
    std::uint8_t Tone = 0;   // tone of the last set-output request
    std::uint8_t Input = 0;  // DI0
    int LocatorCount = 0;    // find-me requests served
    int RestartCount = 0;    // restarts (reset, Wi-Fi mode, factory reset)
    std::string WebLoginKey;
    std::uint8_t WifiMode = 2;  // running mode: 0 station, other access point
    std::string Location;       // running location (read from flash at the last start)
    // Running firmware version, as in the information reply: named by the image in flash at the
    // last start, or the built-in 1.0A.
    std::uint8_t FirmwareMajor = 0;
    std::uint8_t FirmwareMinor = 0;
    std::array<std::uint8_t, 6> Mac{};  // as in the information reply
};

}  // namespace kstbell::sim
