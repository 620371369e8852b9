#pragma once

namespace kstbell {

struct TContext;

// What the main window's events do. The Qt window forwards its events here.

// First activation only: locate, then ask for the device information or warn.
void FormActivate(TContext& ctx);
// Setup: true when the setup window may open now (no transaction under way); polling of the
// status stops until it closes.
bool Image1Click(TContext& ctx);
// Refresh: clears the last operation message and asks for the device information.
void RefreshDevice(TContext& ctx);
// Find me: queues the locator request for the next tick.
void Image3Click(TContext& ctx);
// Relay output: asks for the opposite of the last reported output with the chosen tone.
// Throws TConversionError, sending nothing, when the tone text is no integer.
void SpeedButton4Click(TContext& ctx);
// "Static IP": takes the typed address, then starts over with it.
void SpeedButton5Click(TContext& ctx);
// One tick of the polling timer; the timer stays off while its handler runs.
void Timer3Timer(TContext& ctx);

}  // namespace kstbell
