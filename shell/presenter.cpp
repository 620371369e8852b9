#include "shell/presenter.h"

#include "device/session.h"
#include "protocol/text.h"
#include "shell/display.h"
#include "shell/host_services.h"
#include "shell/main_window_state.h"
#include "shell/setup_window_state.h"

namespace kstbell {

namespace {

constexpr const char* kConnectTimeoutText = "Connect Timeout";
constexpr const char* kSilentText = "No reply from device";
constexpr const char* kChecksumMatchText = "F/W update Complete! Reboot to take effect";
constexpr const char* kChecksumMismatchText = "Update F/W fail with Error! Please retry again.";

// Whole and hundredths as "W.HH".
std::string Figure(const TSdFigure& f) {
    return std::to_string(f.Whole) + "." + (f.Hundredths < 10 ? "0" : "") +
           std::to_string(f.Hundredths);
}

std::string SdText(const TDeviceInfo& info) {
    if (!info.SdPresent) return "SD : N/A";
    return "SD Free:" + Figure(info.SdFree) + "/(" + Figure(info.SdSize) + ")GB";
}

}  // namespace

TPresenter::TPresenter(const TDeviceSession& session, TMainWindowState& form1,
                       TSetupWindowState& form2, IHostServices& host)
    : session_(session), form1_(form1), form2_(form2), host_(host) {}

void TPresenter::ShowStatus(std::string text) {
    form1_.StatusBar2.Panels[0] = std::move(text);
}

void TPresenter::OnTrace(const std::string& line) {
    form1_.Memo1.push_back(line);
}

void TPresenter::OnNote(const TNote& note) {
    auto& panel = form1_.StatusBar2.Panels[0];
    switch (note.Kind) {
        case TNoteKind::ConnectFailed:
            ShowStatus(kConnectTimeoutText);
            break;
        case TNoteKind::Connected:
            if (panel == kConnectTimeoutText) panel.clear();
            break;
        case TNoteKind::InvalidHeader:
            ShowStatus("InValid Header package!");
            break;
        case TNoteKind::LocatorDone:
            ShowStatus("Set Locator done!");
            break;
        case TNoteKind::ResetExecuted:
            ShowStatus("M4 Reset Execute!");
            break;
        case TNoteKind::FileKilled:
            ShowStatus("Kill file in Flash Done!");
            break;
        case TNoteKind::ConfigKilled:
            ShowStatus("Flash Config been kill!");
            break;
        case TNoteKind::OutputSet:
            ShowStatus("Set DO Done! DI:" + Hex2(static_cast<std::uint8_t>(note.Value)));
            break;
        case TNoteKind::ChecksumMatch:
        case TNoteKind::ChecksumMismatch: {
            const bool match = note.Kind == TNoteKind::ChecksumMatch;
            const char* text = match ? kChecksumMatchText : kChecksumMismatchText;
            ShowStatus(text);
            host_.MessageBox(text, text, TMsgButtons::Ok, match ? TMsgIcon::None : TMsgIcon::Error);
            break;
        }
        case TNoteKind::AddressChanged:
            ShowStatus("Change IP => " + note.Text);
            break;
        case TNoteKind::SendingFile:
            ShowStatus("Send FileName: " + note.Text);
            break;
        case TNoteKind::TransferLength:
            ShowStatus("Transfer Length => " + std::to_string(note.Value));
            break;
        case TNoteKind::DeletingFile:
            ShowStatus("Del File: " + note.Text);
            break;
        case TNoteKind::ImageLength:
            ShowStatus("MCUImg FileLength => " + std::to_string(note.Value));
            break;
        case TNoteKind::ImageTooLong:
            ShowStatus("File Lengths > Buffer Size, Abort!");
            break;
        case TNoteKind::ImageSum:
            ShowStatus("Send MCUImg CheckSum => " + Hex8(note.Value));
            break;
        case TNoteKind::ImageUnconfirmed:
            ShowStatus("F/W not confirmed by device! Please upload again.");
            break;
        case TNoteKind::DeviceSilent:
            ShowStatus(kSilentText);
            form1_.Label12.Caption = "RSSI:";
            break;
        case TNoteKind::DeviceAnswering:
            // The headline comes back; the signal strength comes with the next reply.
            if (panel == kSilentText) panel = form1_.Label4.Caption;
            break;
    }
}

void TPresenter::OnLocated(TLocateResult result) {
    auto& f = form1_;
    f.Timer3Interval = 100;
    if (result == TLocateResult::Found) {
        f.StatusBar1.Panels[1] = "IP: " + session_.Link.DeviceIp;
        return;
    }
    if (result == TLocateResult::NotFound) {
        ResetDisplayControls(f);
        f.Label4.Caption = "Device not found!!";
    } else {
        f.Label4.Caption = "Same multiple IP found!!";
    }
    f.Label4.FontColor = clRed;
    f.Label5.Caption.clear();
}

void TPresenter::OnInfoDecoded(const TDeviceInfo& info, bool forThisDevice) {
    auto& f = form1_;
    const bool supported = info.Model == kSupportedModelCode;
    if (supported) EnableDeviceControls(f);
    const std::string headline = supported ? "Get Device Linked!!" : "Unknow Device??";
    f.Label4.FontColor = supported ? clNavy : clRed;
    ShowStatus(headline);
    f.Label4.Caption = headline;
    if (!forThisDevice) return;
    f.StatusBar1.Panels[0] = "Dev MAC: " + MacToText(info.Mac.data(), info.Mac.size());
    f.Label5.FontColor = kLocationColor;
    f.Label5.Caption = "Locate: " + info.Location;
    f.StatusBar3.Panels[1] = SdText(info);
    f.StatusBar2.Panels[1] = "FW: V" + FirmwareVersionText(info.FirmwareMajor, info.FirmwareMinor);
    if (RssiKnown(info.RssiRaw)) f.Label12.Caption = RssiText(info.RssiRaw);
    f.StatusBar3.Panels[0] = "Device Mode: " + std::to_string(info.DeviceMode);
}

void TPresenter::OnStatesChanged(std::uint8_t output, std::uint8_t input) {
    UpdateIndicators(form1_, output, input);
}

void TPresenter::OnStatusDecoded(const TDeviceStatus& status) {
    if (RssiKnown(status.RssiRaw)) form1_.Label12.Caption = RssiText(status.RssiRaw);
}

void TPresenter::OnTransfer(const TTransferProgress& progress) {
    auto& gauge = form2_.CGauge1;
    if (progress.Start) {
        gauge.Progress = 0;
        gauge.MaxValue = static_cast<int>(progress.Max);
        gauge.ForeColor = clRed;
        return;
    }
    gauge.Progress = static_cast<int>(progress.Position);
    if (progress.Milestone) host_.Repaint();
}

void TPresenter::OnSocketError(const std::string& text) {
    ShowErrorBox(host_, text);
}

void TPresenter::OnSurveyError(const std::string& text) {
    ShowErrorBox(host_, "Adapters: " + text);
}

}  // namespace kstbell
