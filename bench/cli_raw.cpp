// The baseline for the kstbellctl measurements: the same requests on plain blocking sockets,
// without sessions, reports or anything else, over consecutive addresses as kstbell-sim --count
// serves them.
//   cli_raw PORT FIRST COUNT PARALLEL CODE [ROUNDS PERIOD_MS]
// CODE 33 (get information) or 216 (get status). Prints the horns that answered, the wall time
// of the last round and the processor time of the whole run.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kReplyWaitMs = 1000;

// A get-information or get-status request to one address; true when the device accepted it.
bool Ask(std::uint32_t address, std::uint16_t port, std::uint8_t code) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    bool accepted = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) {
        const std::uint8_t request[7] = {0x5A, 0x35, 0x77, 0xA5, code, 0, 0};
        const std::size_t length = code == 33 ? 7 : 5;
        if (::send(fd, request, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length)) {
            std::uint8_t reply[4096];
            std::size_t got = 0;
            const auto until = TClock::now() + std::chrono::milliseconds(kReplyWaitMs);
            for (;;) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(until - TClock::now())
                        .count();
                pollfd p{fd, POLLIN, 0};
                if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
                const ssize_t n = ::recv(fd, reply + got, sizeof reply - got, 0);
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            accepted = got >= 6 && reply[0] == 0x5A && reply[5] == 6;
        }
    }
    ::close(fd);
    return accepted;
}

// Consecutive addresses from first, host parts 0 and 255 skipped.
std::vector<std::uint32_t> Addresses(std::uint32_t first, std::size_t count) {
    std::vector<std::uint32_t> all;
    for (std::uint32_t a = first; all.size() < count; ++a)
        if ((a & 0xFF) != 0 && (a & 0xFF) != 255) all.push_back(a);
    return all;
}

double CpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: cli_raw PORT FIRST COUNT PARALLEL CODE [ROUNDS PERIOD_MS]\n");
        return 2;
    }
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
    in_addr first{};
    ::inet_pton(AF_INET, argv[2], &first);
    const auto addresses = Addresses(ntohl(first.s_addr), std::strtoul(argv[3], nullptr, 10));
    const std::size_t parallel = std::strtoul(argv[4], nullptr, 10);
    const auto code = static_cast<std::uint8_t>(std::atoi(argv[5]));
    const int rounds = argc > 6 ? std::atoi(argv[6]) : 1;
    const int periodMs = argc > 7 ? std::atoi(argv[7]) : 0;
    std::atomic<std::size_t> answered{0};
    double wallMs = 0;
    auto next = TClock::now();
    for (int round = 0; round < rounds; ++round) {
        answered = 0;
        std::atomic<std::size_t> at{0};
        const auto start = TClock::now();
        std::vector<std::thread> workers;
        for (std::size_t w = 0; w < std::min(parallel, addresses.size()); ++w)
            workers.emplace_back([&] {
                for (std::size_t i = at++; i < addresses.size(); i = at++)
                    if (Ask(addresses[i], port, code)) ++answered;
            });
        for (auto& t : workers)
            t.join();
        wallMs = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
        next += std::chrono::milliseconds(periodMs);
        std::this_thread::sleep_until(next);
    }
    std::printf("answered=%zu wall_ms=%.1f cpu_ms=%.1f\n", answered.load(), wallMs, CpuMs());
    return 0;
}
