#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kstbell {

struct TContext;
struct TMainWindowState;

// The signal strength caption of a known raw value.
std::string RssiText(std::uint16_t raw);

// Returns the main window to its look without a device: forgets the shown states, disables
// the device controls, clears the headline and the location.
void ResetDisplay(TContext& ctx);
// The controls' part of it: what the window shows, not what the session keeps.
void ResetDisplayControls(TMainWindowState& f);
// Draws the relay output and the input from their state bytes (bit 0).
void UpdateIndicators(TMainWindowState& f, std::uint8_t output, std::uint8_t input);
// Stores the session's states again, masked by what the identified model has, and draws them.
void UpdateIndicators(TContext& ctx);
// A supported device answered: the relay button and the Setup, Refresh and Find me images.
void EnableDeviceControls(TMainWindowState& f);
// Start-up work of the main window: the no-device look, polling on, and the removal of a
// left-over "temp" folder under the given current folder.
void FormCreate(TContext& ctx, const std::filesystem::path& currentFolder);

}  // namespace kstbell
