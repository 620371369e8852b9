#pragma once

// Address texts as the operator types them: the device address with its network prefix, and
// the dotted quads of the station's static addressing.

#include <array>
#include <cstdint>
#include <string>

namespace kstbell {

// Splits an address text into its four parts and returns the network prefix (the text up to
// and including its third dot, or the whole text when it has fewer). Dots after the third are
// dropped from the parts. Throws TConversionError for the first part that is not an integer.
std::string ParseDeviceAddress(const std::string& text);

// True when the text is four decimal octets 0 to 255 separated by three dots.
bool IsDottedQuad(const std::string& text);
// The four octets of a text that IsDottedQuad accepted, read as decimal numbers.
std::array<std::uint8_t, 4> DottedQuadBytes(const std::string& text);

}  // namespace kstbell
