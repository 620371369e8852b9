#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kstbell {

// A text that should have been a number and is not. Its message names the text.
class TConversionError : public std::runtime_error {
  public:
    explicit TConversionError(const std::string& text)
        : std::runtime_error("'" + text + "' is not a valid integer value") {}
};

// Reads a 32-bit signed integer: optional leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$" or "0x". Nothing may follow. Throws
// TConversionError otherwise, also when the value does not fit.
std::int32_t StrToInt(const std::string& text);

}  // namespace kstbell
