#include "service/log_sink.h"

#include <cstdio>
#include <mutex>

namespace kstbell::service {

TLog StderrLog() {
    return [](const std::string& line) {
        static std::mutex m;
        const std::lock_guard lock(m);
        std::fprintf(stderr, "kstbelld: %s\n", line.c_str());
        std::fflush(stderr);
    };
}

}  // namespace kstbell::service
