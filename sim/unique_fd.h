#pragma once

// Owns one socket or other descriptor and closes it when it goes out of scope.

#include <cstdint>
#include <utility>

namespace kstbell::sim {

// A socket or descriptor: an int on POSIX systems, a wider handle on Windows.
using TSocket = std::intptr_t;

// Closes a descriptor; defined with the platform's socket layer.
void CloseDescriptor(TSocket fd);

class TUniqueFd {
  public:
    TUniqueFd() = default;
    explicit TUniqueFd(TSocket fd) : fd_(fd < 0 ? -1 : fd) {}
    ~TUniqueFd() { Reset(); }

    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    TUniqueFd(TUniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    TSocket Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) {
            CloseDescriptor(fd_);
            fd_ = -1;
        }
    }

  private:
    TSocket fd_ = -1;
};

}  // namespace kstbell::sim
