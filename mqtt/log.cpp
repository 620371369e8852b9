#include "mqtt/log.h"

namespace kstbell::mqtt {

TLog StderrLog() {
    return text::StderrLog("kstbell-bridge");
}

}  // namespace kstbell::mqtt
