#include <chrono>
#include <thread>

#include "ports/host_ports.h"

namespace kstbell {

void TQuietHost::Sleep(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace kstbell
