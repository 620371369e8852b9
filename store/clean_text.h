#pragma once

// Texts that reach the database come from people, automations and horns. Before they are
// stored they are made valid UTF-8 (each byte that does not belong to a valid sequence becomes
// U+FFFD) and cut to a length, at a character boundary, so that whoever reads the log later
// (JSON, a terminal) gets text it can show and a row of bounded size.

#include <cstddef>
#include <string>
#include <string_view>

namespace kstbell::store {

std::string CleanText(std::string_view text, std::size_t maxBytes);

}  // namespace kstbell::store
