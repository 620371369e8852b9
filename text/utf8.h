#pragma once

// The one UTF-8 decoder of the tree: every check of text that people or devices give (valid
// UTF-8, control and format characters) reads code points through it.

#include <cstddef>
#include <string_view>

namespace kstbell::text {

// The length of the well-formed UTF-8 sequence at the start of bytes with its code point, or
// 0 when none starts there (an empty text, stray continuation bytes, overlong forms,
// surrogates, values above U+10FFFF, cut tails).
std::size_t Utf8SequenceAt(std::string_view bytes, char32_t& codePoint);

}  // namespace kstbell::text
