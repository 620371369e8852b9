#include "service/log_sink.h"

namespace kstbell::service {

TLog StderrLog() {
    return text::StderrLog("kstbelld");
}

}  // namespace kstbell::service
