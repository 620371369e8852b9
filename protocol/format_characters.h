#pragma once

// Unicode's format characters (general category Cf): the zero-width space and joiners, the
// marks, embeddings, overrides and isolates that reorder text written in both directions, the
// soft hyphen, the byte order mark, the tag characters. They draw nothing, or move what is
// around them, so a name holding one looks like another name, or like nothing, in a log line,
// a terminal or a page. Names people give are checked for them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell {

// Whether the code point is a format character (Unicode 15).
bool IsFormatCharacter(char32_t codePoint);

struct TFormatCharacterAt {
    char32_t CodePoint = 0;
    std::size_t Byte = 0;  // where its sequence starts, counted from 1
};

// The first format character in UTF-8 text; bytes that start no well-formed sequence are
// passed over (whether the text is UTF-8 is checked apart).
std::optional<TFormatCharacterAt> FindFormatCharacter(std::string_view utf8);

// The first format character in utf8 as a name check names it after "cannot hold": "an
// invisible format character (zero-width or direction mark): U+200B at byte 5"; nothing when
// there is none.
std::optional<std::string> FormatCharacterText(std::string_view utf8);

}  // namespace kstbell
