#include "shell/host_services.h"

namespace kstbell {

void ShowErrorBox(IHostServices& host, const std::string& message) {
    host.MessageBox(message, kErrorBoxCaption, TMsgButtons::Ok, TMsgIcon::Error);
}

}  // namespace kstbell
