#pragma once

#include <filesystem>

namespace kstbell {

// Deletes a folder with everything in it. Symbolic links are removed as links and never
// followed; a folder that is itself a link is left alone. Failures are ignored: what cannot be
// removed stays.
void RemoveDirectoryTree(const std::filesystem::path& folder);

}  // namespace kstbell
