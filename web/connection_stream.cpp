#include "web/connection_stream.h"

#include <algorithm>
#include <cstring>

namespace kstbell::web {

namespace {

std::chrono::milliseconds Until(std::chrono::steady_clock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
}

}  // namespace

bool TConnectionStream::is_readable() const {
    return taken_ < c_.Buffer.size() ||
           c_.Wait(TConnection::TIo::WantRead,
                   std::max(Until(deadline_), std::chrono::milliseconds(0)));
}

bool TConnectionStream::is_writable() const {
    return c_.Wait(TConnection::TIo::WantWrite, writeTimeout_);
}

bool TConnectionStream::More() {
    c_.Buffer.clear();
    taken_ = 0;
    for (;;) {
        char chunk[8192];
        std::size_t got = 0;
        const auto io = c_.Read(chunk, sizeof chunk, got);
        if (io == TConnection::TIo::Done) {
            c_.Buffer.assign(chunk, got);
            return true;
        }
        if (io == TConnection::TIo::Closed) return false;
        const auto left = Until(deadline_);
        if (left.count() <= 0 || !c_.Wait(io, left)) {
            failed_ = true;
            return false;
        }
    }
}

ssize_t TConnectionStream::read(char* ptr, size_t size) {
    if (taken_ == c_.Buffer.size() && !More()) return failed_ ? -1 : 0;
    const auto n = std::min(size, c_.Buffer.size() - taken_);
    std::memcpy(ptr, c_.Buffer.data() + taken_, n);
    taken_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t TConnectionStream::write(const char* ptr, size_t size) {
    static constexpr char kStatusLine[] = "HTTP/1.1 ";
    constexpr std::size_t kPrefix = sizeof kStatusLine - 1;
    if ((status_ == 0 || status_ == 100) && size >= kPrefix + 3 &&
        std::memcmp(ptr, kStatusLine, kPrefix) == 0) {
        int status = 0;
        for (std::size_t i = kPrefix; i < kPrefix + 3; ++i)
            status = status * 10 + (ptr[i] - '0');
        status_ = status;
    }
    std::size_t done = 0;
    while (done < size) {
        std::size_t put = 0;
        const auto io = c_.Write(ptr + done, size - done, put);
        if (io == TConnection::TIo::Done) {
            done += put;
            continue;
        }
        if (io == TConnection::TIo::Closed || !c_.Wait(io, writeTimeout_)) {
            failed_ = true;
            return -1;
        }
    }
    return static_cast<ssize_t>(size);
}

void TConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = c_.Peer;
    port = c_.PeerPort;
}

void TConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip = c_.Local;
    port = c_.LocalPort;
}

}  // namespace kstbell::web
