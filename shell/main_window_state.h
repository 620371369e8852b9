#pragma once

#include <array>
#include <string>

#include "shell/colors.h"
#include "shell/trace_memo.h"

namespace kstbell {

struct TLabelState {
    std::string Caption;
    TColor FontColor = clBlack;
};

struct TShapeState {
    TColor Brush = clMenu;
    TColor Pen = cl3DLight;
};

struct TSpeedButtonState {
    std::string Caption;
    bool Enabled = true;
};

struct TStatusBarState {
    std::array<std::string, 2> Panels;
    bool Visible = true;
};

// What the main window shows, under the names of its controls. The core writes it; the Qt
// window renders it. Texts that came from the device are raw bytes and are rendered as plain
// text, decoded as UTF-8.
struct TMainWindowState {
    TLabelState Label4{"", clRed};                 // headline
    TLabelState Label5{"", clNavy};                // location line
    TLabelState Label12{"RSSI:", kRssiColor};      // signal strength
    std::string Edit2Text;                         // device address entry
    std::string ComboBox1Text = "0";               // tone index
    TSpeedButtonState SpeedButton4{"Off", false};  // relay output
    bool Image1Enabled = false;                    // Setup
    bool Image2Enabled = true;                     // Refresh
    bool Image3Enabled = false;                    // Find me
    TShapeState Shape1;                            // output bar
    TShapeState Shape6;                            // input lamp
    TStatusBarState StatusBar1;
    TStatusBarState StatusBar2;
    TStatusBarState StatusBar3{{}, false};
    TTraceMemo Memo1;  // hidden trace lines, the newest ten thousand
    bool Timer3Enabled = true;
    int Timer3Interval = 100;
    bool FirstActivationDone = false;
    std::string SimulatedMarker;  // non-empty when the device is simulated
};

}  // namespace kstbell
