#include "sim/relay_log.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kstbell::sim {

std::string RelayLogLine(std::chrono::system_clock::time_point when, const std::string& address,
                         std::uint8_t relay, std::uint8_t tone) {
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    return std::to_string(us) + " " + address + " " + std::to_string(relay) + " " +
           std::to_string(tone) + "\n";
}

TRelayLog::TRelayLog(const std::string& path) : file_(std::fopen(path.c_str(), "a")) {
    if (!file_) throw std::runtime_error("relay log " + path + ": " + std::strerror(errno));
}

void TRelayLog::Changed(const std::string& address, std::uint8_t relay, std::uint8_t tone) {
    const std::string line = RelayLogLine(std::chrono::system_clock::now(), address, relay, tone);
    // One write per line keeps lines whole for a reader that follows the file.
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
}

}  // namespace kstbell::sim
