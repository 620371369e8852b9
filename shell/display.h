#pragma once

#include <filesystem>

namespace kstbell {

struct TContext;

// Returns the main window to its look without a device.
void ResetDisplay(TContext& ctx);
// Draws the relay output and the input from their state bytes (bit 0), masked by what the
// identified model has.
void UpdateIndicators(TContext& ctx);
// Start-up work of the main window: indicator colours, the no-device look, polling on, and the
// removal of a left-over "temp" folder under the given current folder.
void FormCreate(TContext& ctx, const std::filesystem::path& currentFolder);

}  // namespace kstbell
