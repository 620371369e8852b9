#pragma once

// The setup window's commits and device actions: each takes its entries from the window,
// checks them with the window's own messages, asks for confirmation, lets the device session
// do the work and tells the outcome in a box.

namespace kstbell {

struct TContext;

inline constexpr const char* kFirmwareFilter = "bin|*.bin";
inline constexpr const char* kFirmwareDefaultExt = "*.bin";

void CommitApCredentials(TContext& ctx);
void CommitStationCredentials(TContext& ctx);
void CommitStaticIp(TContext& ctx);
void CommitWebKey(TContext& ctx);
void CommitLocation(TContext& ctx);
void CommitModbusSettings(TContext& ctx);

void WifiModeAction(TContext& ctx);
void ResetToDefaultAction(TContext& ctx);
void RebootAction(TContext& ctx);
// Lets the operator pick an image and uploads it; the caller has located the device.
void UpdateFirmware(TContext& ctx);
// Confirms, locates, then UpdateFirmware.
void FirmwareUpdateAction(TContext& ctx);

}  // namespace kstbell
