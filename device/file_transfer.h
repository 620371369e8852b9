#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/outcome.h"

namespace kstbell {

class TDeviceSession;

// The longest paths the request frames leave room for.
inline constexpr std::size_t kMaxWritePath = 43;
inline constexpr std::size_t kMaxDeletePath = 23;
inline constexpr int kDataPhasePauseMs = 1500;
inline constexpr std::size_t kPieceSize = 1024;

// Writes the first length bytes of the image buffer to the device as the file path: a header
// request, a pause, then the raw bytes on a connection of their own. The caller has put the
// content into the image buffer and located the device. Done when every byte went out; the
// device never confirms the data itself.
TOutcome WriteDeviceFile(TDeviceSession& s, const std::string& path, std::int32_t length);
// Puts bytes into the image buffer and writes them as the file path.
TOutcome WriteDeviceFileBytes(TDeviceSession& s, const std::string& path, std::string_view bytes);
// Deletes the file path on the device: Done only when the device accepted it.
TOutcome DeleteDeviceFile(TDeviceSession& s, const std::string& path);

// Streams the first length bytes of the image buffer on a new connection to the device in
// 1024-byte writes, telling the observers the progress. Every other transaction is kept off
// the link meanwhile. progressAtStart: the progress is the start of each piece, not its end.
TOutcome SendDataPhase(TDeviceSession& s, std::int32_t length, bool progressAtStart);

}  // namespace kstbell
