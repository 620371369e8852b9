#pragma once

// Actions on the device as a whole: Wi-Fi mode, reset to factory settings, reboot and the
// firmware update, each after the operator's confirmation.

#include <cstdint>
#include <optional>

#include "device/file_transfer.h"

namespace kstbell {

struct TContext;

// Each sender locates the device first: nothing when it was not found (the main window says
// why), else whether the request went out.
std::optional<TTransferResult> SetWifiMode(TContext& ctx);
std::optional<TTransferResult> ResetToDefault(TContext& ctx, std::uint8_t parameter);

void WifiModeAction(TContext& ctx);
void ResetToDefaultAction(TContext& ctx);
void RebootAction(TContext& ctx);
void FirmwareUpdateAction(TContext& ctx);

}  // namespace kstbell
