#include "sim_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <numeric>
#include <stdexcept>
#include <thread>

namespace kstbell::sim::test {

namespace {

class TSocket {
  public:
    explicit TSocket(const TTarget& target) : fd_(Connect(target)) {}
    explicit TSocket(std::uint16_t port) : TSocket(TTarget{"127.0.0.1", port, {}}) {}
    ~TSocket() { ::close(fd_); }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Fd() const { return fd_; }

    void Send(const TBytes& bytes, std::size_t piece) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const std::size_t want =
                piece == 0 ? bytes.size() - sent : std::min(piece, bytes.size() - sent);
            const ssize_t n = ::send(fd_, bytes.data() + sent, want, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
            if (piece != 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

  private:
    int fd_;
};

}  // namespace

TBytes Frame(std::uint8_t code, const TBytes& params) {
    TBytes frame{0x5A, 0x35, 0x77, 0xA5, code};
    frame.insert(frame.end(), params.begin(), params.end());
    return frame;
}

TBytes FileHeader(std::uint8_t code, std::size_t length, std::uint32_t sum, const std::string& path,
                  std::size_t total) {
    TBytes frame = Frame(code);
    frame.resize(total, 0);
    for (std::size_t i = 0; i < 4; ++i) {
        frame[5 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
        frame[9 + i] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
    }
    frame[16] = static_cast<std::uint8_t>(path.size());
    for (std::size_t i = 0; i < path.size() && 17 + i < total; ++i) {
        frame[17 + i] = static_cast<std::uint8_t>(path[i]);
    }
    return frame;
}

TBytes KillFile(const std::string& path) {
    return FileHeader(93, 0, 0, path, 40);
}

namespace {

// Tests reach nothing but the loopback range.
sockaddr_in Loopback(const std::string& address, std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1 ||
        (ntohl(addr.sin_addr.s_addr) >> 24) != 127) {
        throw std::runtime_error("not a loopback address: " + address);
    }
    return addr;
}

}  // namespace

int Connect(const TTarget& target) {
    const sockaddr_in to = Loopback(target.Address, target.Port);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    if (!target.From.empty()) {
        const sockaddr_in from = Loopback(target.From, 0);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
            ::close(fd);
            throw std::runtime_error("cannot bind " + target.From);
        }
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        throw std::runtime_error("connect to " + target.Address + " failed");
    }
    return fd;
}

namespace {

TExchange ExchangeOn(TSocket& socket, const TBytes& request, int timeoutMs, std::size_t piece,
                     bool halfClose) {
    socket.Send(request, piece);
    if (halfClose) ::shutdown(socket.Fd(), SHUT_WR);
    TExchange result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::uint8_t buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{socket.Fd(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            result.TimedOut = true;
            return result;
        }
        const ssize_t n = ::recv(socket.Fd(), buffer, sizeof buffer, 0);
        if (n == 0) return result;
        if (n < 0) {
            result.Reset = errno == ECONNRESET;
            return result;
        }
        result.Reply.insert(result.Reply.end(), buffer, buffer + n);
    }
}

}  // namespace

TExchange Exchange(std::uint16_t port, const TBytes& request, int timeoutMs, std::size_t piece,
                   bool halfClose) {
    TSocket socket(port);
    return ExchangeOn(socket, request, timeoutMs, piece, halfClose);
}

TExchange Exchange(const TTarget& target, const TBytes& request, int timeoutMs) {
    TSocket socket(target);
    return ExchangeOn(socket, request, timeoutMs, 0, true);
}

void SendOnly(std::uint16_t port, const TBytes& request) {
    TSocket socket(port);
    socket.Send(request, 0);
}

TExchange WriteFile(std::uint16_t port, const std::string& path, const TBytes& content) {
    return WriteFile(TTarget{"127.0.0.1", port, {}}, path, content);
}

TExchange WriteFile(const TTarget& target, const std::string& path, const TBytes& content) {
    TExchange header = Exchange(target, FileHeader(95, content.size(), Sum(content), path));
    TSocket data(target);
    // The desktop program sends the content in pieces of 1024 bytes.
    data.Send(content, 1024);
    return header;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TSimOptions LoopbackOptions() {
    TSimOptions options;
    options.BindAddress = "127.0.0.1";
    options.Port = 0;
    return options;
}

std::uint32_t Sum(const TBytes& bytes) {
    return static_cast<std::uint32_t>(std::accumulate(bytes.begin(), bytes.end(), 0ull));
}

TBytes AsBytes(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

}  // namespace kstbell::sim::test
