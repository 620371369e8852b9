#pragma once

// Writing a file whole or not at all, safely in a folder others may write to: the content goes
// to a new file of a random name created exclusively beside the target (never an existing file,
// never through a link), readable by its owner only when it holds secrets, and is then renamed
// over the target.

#include <string>
#include <string_view>

namespace kstbell::cli {

// False, with the reason, when the file cannot be written; nothing is left behind then.
bool WriteFileWhole(const std::string& path, std::string_view bytes, bool ownerOnly,
                    std::string& error);

}  // namespace kstbell::cli
