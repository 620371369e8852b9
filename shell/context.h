#pragma once

// The desktop program's one device and its two windows' states, with the presenter that keeps
// the states in step with the session.

#include "device/session.h"
#include "shell/host_services.h"
#include "shell/main_window_state.h"
#include "shell/presenter.h"
#include "shell/setup_window_state.h"

namespace kstbell {

struct TContext {
    TContext(ITcpClient& tcp, IHostServices& host, IHostNetworkSource& network);
    ~TContext();
    TContext(const TContext&) = delete;
    TContext& operator=(const TContext&) = delete;

    TDeviceSession Session;
    TMainWindowState Form1;
    TSetupWindowState Form2;
    IHostServices& Host;
    TPresenter Presenter;
};

}  // namespace kstbell
