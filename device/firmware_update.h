#pragma once

#include <cstdint>
#include <string>

#include "device/outcome.h"

namespace kstbell {

class TDeviceSession;

// The largest image the device takes: exactly this length is accepted.
inline constexpr std::int64_t MaxImageLength = 2'097'152;

// Checks the image file at path before any device is contacted: it is a regular file (or a link
// to one) that can be opened, and neither empty nor longer than MaxImageLength. Done, with its
// length; otherwise InvalidInput (ImageUnreadable, ImageNotFile, ImageEmpty or ImageTooLong)
// with Path.
TOutcome CheckImageFile(const std::string& path, std::uint64_t& length);

// Uploads the image file at path and hands its byte sum to the device; the supported model is
// asked for the sum of what it stored, and restarts after a match. The caller has located the
// device. An image that CheckImageFile refuses is refused the same way, with nothing sent.
// Done after a confirmed upload (or, for another model, a sent one); VerifyFailed when
// the sums differ; otherwise what stopped it, with Phase Checksum when the image went out but
// the device did not confirm it.
TOutcome UploadFirmware(TDeviceSession& s, const std::string& path);

}  // namespace kstbell
