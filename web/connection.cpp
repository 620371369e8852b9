#include "web/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kstbell::web {

std::string AddressText(const void* address, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    const auto* any = static_cast<const sockaddr*>(address);
    if (any->sa_family == AF_INET6) {
        const auto* v6 = static_cast<const sockaddr_in6*>(address);
        port = ntohs(v6->sin6_port);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    } else if (any->sa_family == AF_INET) {
        const auto* v4 = static_cast<const sockaddr_in*>(address);
        port = ntohs(v4->sin_port);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    }
    return text;
}

TConnection::TConnection(int fd, SSL_CTX* tls) : fd_(fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        Peer = AddressText(&address, PeerPort);
    }
    length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        Local = AddressText(&address, LocalPort);
    }
    int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (tls) {
        ssl_ = SSL_new(tls);
        if (ssl_) {
            SSL_set_fd(ssl_, fd);
            SSL_set_accept_state(ssl_);
            SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        }
    }
    Handshaken = tls == nullptr;
}

TConnection::~TConnection() {
    if (ssl_) {
        if (Handshaken) SSL_shutdown(ssl_);  // one try: the socket does not block
        SSL_free(ssl_);
    }
    ::close(fd_);
}

namespace {

TConnection::TIo TlsOutcome(SSL* ssl, int result) {
    switch (SSL_get_error(ssl, result)) {
        case SSL_ERROR_WANT_READ:
            return TConnection::TIo::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return TConnection::TIo::WantWrite;
        default:
            ERR_clear_error();
            return TConnection::TIo::Closed;
    }
}

}  // namespace

TConnection::TIo TConnection::Handshake() {
    if (Handshaken) return TIo::Done;
    if (!ssl_) return TIo::Closed;
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        Handshaken = true;
        return TIo::Done;
    }
    return TlsOutcome(ssl_, result);
}

TConnection::TIo TConnection::Read(char* data, std::size_t size, std::size_t& got) {
    got = 0;
    if (ssl_) {
        const int n = SSL_read(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)));
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return TIo::Done;
        }
        return TlsOutcome(ssl_, n);
    }
    for (;;) {
        const auto n = ::recv(fd_, data, size, MSG_DONTWAIT);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return TIo::Done;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return TIo::WantRead;
        return TIo::Closed;
    }
}

TConnection::TIo TConnection::Write(const char* data, std::size_t size, std::size_t& put) {
    put = 0;
    if (ssl_) {
        const int n = SSL_write(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)));
        if (n > 0) {
            put = static_cast<std::size_t>(n);
            return TIo::Done;
        }
        return TlsOutcome(ssl_, n);
    }
    for (;;) {
        const auto n = ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            put = static_cast<std::size_t>(n);
            return TIo::Done;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return TIo::WantWrite;
        return TIo::Closed;
    }
}

bool TConnection::Wait(TIo want, std::chrono::milliseconds timeout) const {
    pollfd p{fd_, static_cast<short>(want == TIo::WantWrite ? POLLOUT : POLLIN), 0};
    const int result = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(timeout.count(), 0)));
    // Readable with POLLHUP: the read then tells the end of stream.
    return result > 0 && (p.revents & (p.events | POLLHUP | POLLERR)) != 0;
}

void TConnection::ShutDown() {
    ::shutdown(fd_, SHUT_RDWR);
}

TConnection::TIo TConnection::Fill(std::size_t cap) {
    char chunk[8192];
    while (Buffer.size() < cap) {
        std::size_t got = 0;
        const auto io = Read(chunk, std::min(sizeof chunk, cap - Buffer.size()), got);
        if (io != TIo::Done) return io;
        Buffer.append(chunk, got);
    }
    return TIo::Done;
}

}  // namespace kstbell::web
