#pragma once

// The texts of --help: what the program is, and after the options its JSON output and exit
// codes.

namespace kstbell::cli {

extern const char* const kHelpDescription;
extern const char* const kHelpFooter;

}  // namespace kstbell::cli
