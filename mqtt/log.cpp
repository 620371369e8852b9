#include "mqtt/log.h"

#include <cstdio>
#include <mutex>

namespace kstbell::mqtt {

TLog StderrLog() {
    return [](const std::string& line) {
        static std::mutex m;
        const std::lock_guard lock(m);
        std::fprintf(stderr, "kstbell-bridge: %s\n", line.c_str());
        std::fflush(stderr);
    };
}

}  // namespace kstbell::mqtt
