#include "shell/context.h"

namespace kstbell {

TContext::TContext(ITcpClient& tcp, IHostServices& host, IHostNetworkSource& network)
    : Session(tcp, network, host), Host(host), Presenter(Session, Form1, Form2, host) {
    Session.AddObserver(Presenter);
}

TContext::~TContext() {
    Session.RemoveObserver(Presenter);
}

}  // namespace kstbell
