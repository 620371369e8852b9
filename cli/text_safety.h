#pragma once

// Device texts are raw bytes: any byte may come, in any order. These make them safe to show on
// a terminal and to put into JSON without losing a byte.

#include <optional>
#include <string>
#include <string_view>

namespace kstbell::cli {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// The bytes with every sequence that is not well-formed UTF-8 replaced by U+FFFD.
std::string ToValidUtf8(std::string_view bytes);

// For a terminal: printable ASCII and well-formed UTF-8 of printable characters stay; a
// backslash becomes "\\"; control characters (C0, DEL, C1) and bytes that are not UTF-8 become
// "\xNN".
std::string EscapeForTerminal(std::string_view bytes);

// The bytes escaped for a terminal, in double quotes.
std::string QuotedForTerminal(std::string_view bytes);

// Two lower-case hexadecimal digits per byte, and back (nothing for odd lengths or other
// characters).
std::string HexOf(std::string_view bytes);
std::optional<std::string> BytesOfHex(std::string_view hex);

}  // namespace kstbell::cli
