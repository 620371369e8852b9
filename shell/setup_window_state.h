#pragma once

#include <string>

#include "shell/colors.h"

namespace kstbell {

struct TEditState {
    std::string Text;
    bool Enabled = true;
};

// The progress bar along the setup window's bottom edge.
struct TGaugeState {
    int MinValue = 0;
    int MaxValue = 100;
    int Progress = 0;  // shown held within MinValue..MaxValue
    TColor ForeColor = clNavy;
};

// What the setup window shows, under the names of its controls, and the texts its commits
// hold between clicks. The core reads and writes it; the Qt window renders it and writes back
// what the operator types and chooses. Texts are bytes, UTF-8 when typed.
struct TSetupWindowState {
    // "AP " group.
    TEditState Edit1{"KST-06-QZ-XXXXXX"};  // access-point SSID
    TEditState Edit2;                      // access-point key
    bool RadioButton1 = true;              // open
    bool RadioButton2 = false;             // WPA/WPA2
    // "Station" group.
    TEditState Edit3{"kQZHUB"};  // station SSID
    TEditState Edit4;            // station key
    bool RadioButton3 = false;   // open
    bool RadioButton4 = false;   // WEP
    bool RadioButton5 = true;    // WPA/WPA2
    bool CheckBox1 = false;      // static IP
    bool Label10Enabled = false;
    bool Label11Enabled = false;
    bool Label12Enabled = false;
    TEditState Edit8{"", false};               // static address
    TEditState Edit9{"255.255.255.0", false};  // net mask
    TEditState Edit10{"", false};              // gateway
    // "WiFi Mode " group.
    bool RadioButton6 = false;  // access-point mode
    bool RadioButton7 = true;   // station mode
    // "WEB" group: disabled, its apply image hidden.
    TEditState Edit6{"", false};
    bool GroupBox4Enabled = false;
    bool Image5Visible = false;
    // "Modbus TCP" group.
    TEditState Edit7;   // port
    TEditState Edit12;  // idle timeout
    bool GroupBox6Visible = true;
    // "Location" group.
    TEditState Edit5;

    TGaugeState CGauge1;

    // A commit or action is under way: further clicks on the apply and action images are
    // refused until it ends.
    bool Busy = false;

    // Texts held by the commits for as long as the program runs; an empty edit leaves them.
    std::string HeldApSsid;
    std::string HeldApKey;
    std::string HeldStaSsid;
    std::string HeldStaKey;
    std::string HeldWebKey;
};

}  // namespace kstbell
