#pragma once

// One client connection of the HTTP front: its non-blocking socket, TLS on it when the front
// speaks HTTPS, the addresses at both ends, and the bytes read but not yet served. The
// connection gate reads heads into it; a worker then serves one request over it.

#include <chrono>
#include <cstddef>
#include <string>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;

namespace kstbell::web {

class TConnection {
  public:
    // Takes the accepted socket; with tls, a TLS session is made on it.
    TConnection(int fd, SSL_CTX* tls);
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // Done, or what the socket must become before the call is tried again.
    enum class TIo { Done, WantRead, WantWrite, Closed };
    // TLS: one step of the handshake; plain: Done.
    TIo Handshake();
    // Up to size bytes, got of them given; Closed on end of stream or an error.
    TIo Read(char* data, std::size_t size, std::size_t& got);
    TIo Write(const char* data, std::size_t size, std::size_t& put);
    // Whether the socket is readable or writable (as want says) within timeout; false also when
    // it is shut down.
    bool Wait(TIo want, std::chrono::milliseconds timeout) const;
    // Shuts the socket down for both directions: a worker waiting on it wakes.
    void ShutDown();
    // Reads what has come, up to cap bytes in Buffer. Closed when the peer ended or failed.
    TIo Fill(std::size_t cap);

    int Fd() const { return fd_; }
    bool Tls() const { return ssl_ != nullptr; }

    std::string Peer;
    int PeerPort = 0;
    std::string Local;
    int LocalPort = 0;
    std::string Buffer;       // bytes read and not yet served
    std::size_t Served = 0;   // requests served on it
    bool Handshaken = false;  // TLS done (always, plain)
    bool Counted = false;     // counted against its client's cap
    bool Streaming = false;   // given to an event stream's thread
    std::chrono::steady_clock::time_point Deadline{};
    std::chrono::steady_clock::time_point RequestStart{};  // the first byte of the next request

  private:
    int fd_;
    SSL* ssl_ = nullptr;
};

// "127.0.0.1", "::1"; the port in port.
std::string AddressText(const void* sockaddr, int& port);

}  // namespace kstbell::web
