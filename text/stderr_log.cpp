#include "text/stderr_log.h"

#include <cstdio>
#include <mutex>

namespace kstbell::text {

TLog StderrLog(std::string program) {
    return [program = std::move(program)](const std::string& line) {
        static std::mutex m;
        const std::lock_guard lock(m);
        std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str());
        std::fflush(stderr);
    };
}

}  // namespace kstbell::text
