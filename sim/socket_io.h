#pragma once

// The socket operations the simulator's event loop needs, all non-blocking. Declared here
// without any platform header; socket_io_posix.cpp implements them for POSIX systems, and a
// Winsock file with the same declarations is all a Windows build needs.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "sim/unique_fd.h"

namespace kstbell::sim {

enum class EIo {
    Done,        // some bytes moved (or a connection was accepted)
    WouldBlock,  // nothing to do now
    Closed,      // the peer ended its sending side (receiving only)
    Failed,      // the connection is broken, or accepting failed
};

struct TIoResult {
    EIo Status = EIo::Failed;
    std::size_t Bytes = 0;
};

// Binds and listens on an IPv4 address, non-blocking; throws std::runtime_error with the
// reason on failure.
TUniqueFd ListenTcp(const std::string& address, std::uint16_t port);

// The port a bound socket actually got.
std::uint16_t BoundPort(TSocket fd);

struct TAccepted {
    EIo Status = EIo::Failed;
    TUniqueFd Fd;                   // non-blocking, when Status is Done
    std::uint32_t Peer = 0;         // the client's IPv4 address, first part in the high byte
    bool OutOfDescriptors = false;  // the process or system has no descriptor left
    std::string Error;              // why accepting failed
};
TAccepted AcceptConnection(TSocket listener);

TIoResult ReceiveSome(TSocket fd, std::span<std::uint8_t> into);
// Never raises SIGPIPE.
TIoResult SendSome(TSocket fd, std::span<const std::uint8_t> bytes);
// Ends our sending side; the client sees the end of the stream.
void ShutdownSending(TSocket fd);
// Closes the connection with a reset instead of an orderly end.
void CloseWithReset(TUniqueFd& fd);
void SetNoDelay(TSocket fd);
// Announces a segment size on a listener for the connections it accepts from now on.
void SetSegmentSize(TSocket listener, int size);

struct TDescriptorLimit {
    std::uint64_t Soft = 0;
    std::uint64_t Hard = 0;
};
// Raises the process's soft limit of open descriptors to its hard limit when it is below
// wanted; returns the limits in force afterwards.
TDescriptorLimit RaiseDescriptorLimit(std::uint64_t wanted);

}  // namespace kstbell::sim
