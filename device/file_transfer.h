#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kstbell {

struct TContext;
struct TDeviceLink;

// The longest paths the request frames leave room for.
inline constexpr std::size_t kMaxWritePath = 43;
inline constexpr std::size_t kMaxDeletePath = 23;
inline constexpr int kDataPhasePauseMs = 1500;
inline constexpr std::size_t kPieceSize = 1024;

// Whether a transfer went out whole: every connection made and every byte written. The
// device's own acceptance is not part of it; the protocol cannot confirm that.
struct TTransferResult {
    bool Ok = true;
    std::string Error;  // what failed, for the operator
};

// The sum of all bytes as unsigned values, from 0, in 64 bits.
std::uint64_t ByteSum(std::span<const std::uint8_t> bytes);

// Writes the first length bytes of the image buffer to the device as the file path: a header
// request, a pause, then the raw bytes on a connection of their own. The caller has put the
// content into the image buffer and located the device.
TTransferResult WriteDeviceFile(TContext& ctx, const std::string& path, std::int32_t length);
// Deletes the file path on the device.
TTransferResult DeleteDeviceFile(TContext& ctx, const std::string& path);

// Why the last request did not leave this PC, in the operator's words.
std::string RequestFailure(const TDeviceLink& link);

// Streams the first length bytes of the image buffer on a new connection to the device in
// 1024-byte writes, moving the setup window's gauge. Every other transaction is kept off the
// link meanwhile. progressAtStart: the gauge shows the start of each piece instead of its end.
TTransferResult SendDataPhase(TContext& ctx, std::int32_t length, bool progressAtStart);

}  // namespace kstbell
