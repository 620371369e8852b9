#pragma once

#include <cstdint>

namespace kstbell {

struct TContext;

// Asks the device to switch the relay output to value (1 on, 0 off) sounding the given tone,
// and traces the request whatever its outcome. Does nothing while another transaction runs.
void SetRelayOutput(TContext& ctx, std::uint8_t loop, std::uint8_t value, std::uint8_t tone);

}  // namespace kstbell
