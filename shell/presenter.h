#pragma once

// Turns what a device session tells into what the two windows show: captions, status bar
// panels, indicator colours, the trace memo, the transfer gauge, and the boxes that the device
// causes (a socket error, a survey failure, the firmware checksum verdict).

#include "device/observer.h"

namespace kstbell {

class IHostServices;
class TDeviceSession;
struct TMainWindowState;
struct TSetupWindowState;

class TPresenter : public IDeviceObserver {
  public:
    TPresenter(const TDeviceSession& session, TMainWindowState& form1, TSetupWindowState& form2,
               IHostServices& host);

    void OnTrace(const std::string& line) override;
    void OnNote(const TNote& note) override;
    void OnLocated(TLocateResult result) override;
    void OnInfoDecoded(const TDeviceInfo& info, bool forThisDevice) override;
    void OnStatesChanged(std::uint8_t output, std::uint8_t input) override;
    void OnStatusDecoded(const TDeviceStatus& status) override;
    void OnTransfer(const TTransferProgress& progress) override;
    void OnSocketError(const std::string& text) override;
    void OnSurveyError(const std::string& text) override;

  private:
    void ShowStatus(std::string text);  // panel 0 of StatusBar2

    const TDeviceSession& session_;
    TMainWindowState& form1_;
    TSetupWindowState& form2_;
    IHostServices& host_;
};

}  // namespace kstbell
