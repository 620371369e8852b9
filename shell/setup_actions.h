#pragma once

// What the setup window's events do; the Qt window forwards its events here.

namespace kstbell {

struct TContext;

// Creation: the static-address controls start disabled.
void SetupFormCreate(TContext& ctx);
// Each activation: fills the controls from the last device information.
void SetupFormActivate(TContext& ctx);
// Closing: when device information had been shown, asks for it afresh and resumes polling.
void SetupFormClose(TContext& ctx);
// Enables or disables the static-address edits and their labels, and sets the check box.
void SetStaticIpControls(TContext& ctx, bool enabled);
// The "Static IP" check box changed to checked.
void CheckBox1Click(TContext& ctx, bool checked);

// Apply images. Each is refused while another commit or action is under way.
void SetupImage2Click(TContext& ctx);   // access point credentials
void SetupImage3Click(TContext& ctx);   // station credentials
void SetupImage10Click(TContext& ctx);  // station static address
void SetupImage5Click(TContext& ctx);   // WEB login key
void SetupImage6Click(TContext& ctx);   // location
void SetupImage9Click(TContext& ctx);   // Modbus TCP

// Device actions.
void SetupImage4Click(TContext& ctx);  // Wi-Fi mode
void SetupImage7Click(TContext& ctx);  // reset to default
void SetupImage8Click(TContext& ctx);  // reboot
void SetupImage1Click(TContext& ctx);  // firmware update

}  // namespace kstbell
