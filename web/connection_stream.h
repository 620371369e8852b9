#pragma once

// A connection as the HTTP library's stream for one request: the bytes the gate read come
// first, then the socket, waited on until the request's deadline; writes wait at most the
// write timeout each. It notes the status line it writes, so that the connection can be closed
// after an answer that leaves its framing in doubt.

#include <httplib.h>

#include <chrono>

#include "web/connection.h"

namespace kstbell::web {

class TConnectionStream final : public httplib::Stream {
  public:
    TConnectionStream(TConnection& connection, std::chrono::steady_clock::time_point deadline,
                      std::chrono::milliseconds writeTimeout)
        : c_(connection), deadline_(deadline), writeTimeout_(writeTimeout) {}
    // What was read and not taken stays in the connection's buffer.
    ~TConnectionStream() override { c_.Buffer.erase(0, taken_); }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return c_.Fd(); }

    int Status() const { return status_; }   // of the answer written; 0: none
    bool Failed() const { return failed_; }  // a read or write failed or ran out of time

  private:
    bool More();

    TConnection& c_;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::milliseconds writeTimeout_;
    std::size_t taken_ = 0;
    int status_ = 0;
    bool failed_ = false;
};

}  // namespace kstbell::web
