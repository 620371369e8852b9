#pragma once

// Blocking socket helpers for the server thread. Every wait also watches a wake descriptor, so
// that stopping the server interrupts any read, pause or hold at once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/unique_fd.h"

namespace kstbell::sim {

enum class EIoResult { Data, Eof, Timeout, Stopped, Error };

// Waits up to timeoutMs (negative: no limit) for fd to become readable, then appends at most
// maxBytes to into. A timeout of 0 only takes what is already there.
EIoResult ReadSome(int fd, int wakeFd, int timeoutMs, std::vector<std::uint8_t>& into,
                   std::size_t maxBytes);

// Sends every byte; false when the peer is gone or another error happened. Never raises SIGPIPE.
bool SendAll(int fd, std::span<const std::uint8_t> bytes);

// Sleeps for ms milliseconds; false when woken for stopping instead.
bool PauseUnlessWoken(int wakeFd, int ms);

// True once the wake descriptor has been signalled.
bool IsWoken(int wakeFd);

// Closes the connection with a reset instead of an orderly end.
void CloseWithReset(TUniqueFd& fd);

// Binds and listens on an IPv4 address; throws std::runtime_error with the reason on failure.
TUniqueFd ListenTcp(const std::string& address, std::uint16_t port);

// The port a bound socket actually got.
std::uint16_t BoundPort(int fd);

}  // namespace kstbell::sim
