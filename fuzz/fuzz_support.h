#pragma once

// What the fuzz targets share: ports that never reach a network or a person, one context over
// them that is put back to its start before every input, and the check that stops the run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/survey_simulated.h"
#include "shell/context.h"
#include "shell/host_services.h"

// Stops the run at the first broken invariant; libFuzzer keeps the input that did it.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                       \
            __builtin_trap();                                                             \
        }                                                                                 \
    } while (false)

namespace kstbell::fuzz {

// A connection that is never made: every call fails at once and is counted.
class TOfflineTcp : public ITcpClient {
  public:
    void SetHost(const std::string&, std::uint16_t) override {}
    TNetResult Connect(int) override {
        ++Connects;
        return {TNetStatus::Failed, "offline"};
    }
    TNetResult Write(std::span<const std::uint8_t>) override {
        ++Writes;
        return {TNetStatus::Failed, "offline"};
    }
    bool HasBufferedInput() override { return false; }
    TNetResult WaitForInput(int) override { return {TNetStatus::TimedOut, {}}; }
    TNetResult ReadAvailable(std::span<std::uint8_t>, std::size_t& count) override {
        count = 0;
        return {TNetStatus::Failed, "offline"};
    }
    void Disconnect() override {}
    bool Connected() const override { return false; }

    int Connects = 0;
    int Writes = 0;
};

// Boxes are answered at once: OK where that is the only button, otherwise YesNoAnswer.
// Nothing waits.
class TScriptedHost : public IHostServices {
  public:
    TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons,
                          TMsgIcon) override {
        ++Boxes;
        LastText = text;
        LastCaption = caption;
        LastButtons = buttons;
        return buttons == TMsgButtons::Ok ? TMsgResult::Ok : YesNoAnswer;
    }
    std::optional<std::string> OpenFileDialog(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void Sleep(int) override {}
    void Repaint() override {}
    void PumpEvents() override {}

    TMsgResult YesNoAnswer = TMsgResult::No;
    int Boxes = 0;
    std::string LastText;
    std::string LastCaption;
    TMsgButtons LastButtons = TMsgButtons::Ok;
};

// This PC's Wi-Fi address on the default device network, and the BSSID of the horn's access
// point.
inline constexpr const char* kWifiAddress = "192.168.77.23";
inline constexpr std::array<std::uint8_t, 6> kHornBssid{0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01};

// One context for the whole run: its image buffer is too large to allocate for every input, so
// Reset puts every other part back as a new context has it.
struct TBench {
    TScriptedHost Host;
    TOfflineTcp Tcp;
    TSimulatedHostNetwork Network{kWifiAddress, kHornBssid};
    TContext Ctx{Tcp, Host, Network};

    void Reset() {
        Host = TScriptedHost{};
        Tcp = TOfflineTcp{};
        Network.WifiAddress = kWifiAddress;
        Network.Bssid = kHornBssid;
        Network.WifiState = kWifiStateConnected;
        Network.SecondWifiOnNetwork = false;
        Network.WifiServiceRunning = true;
        Network.Surveys = 0;
        Ctx.Session.Link = TDeviceLink{};
        Ctx.Session.Poll = TPollState{};
        Ctx.Session.Locate = TLocateState{};
        Ctx.Session.Survey = TSurveyTables{};
        Ctx.Session.DeviceInfo = TDeviceInfo{};
        Ctx.Session.Flags = TDeviceFlags{};
        Ctx.Session.OutputState = 0;
        Ctx.Session.InputState = 0;
        Ctx.Session.ImageSum = 0;
        Ctx.Form1 = TMainWindowState{};
        Ctx.Form2 = TSetupWindowState{};
    }
};

inline TBench& Bench() {
    static TBench bench;
    bench.Reset();
    return bench;
}

// A device text as the client keeps it: the bytes before the first zero byte.
inline std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace kstbell::fuzz
