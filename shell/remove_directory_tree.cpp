#include "shell/remove_directory_tree.h"

#include <system_error>
#include <vector>

namespace kstbell {

namespace fs = std::filesystem;

namespace {

void RemoveContents(const fs::path& folder) {
    std::error_code ec;
    // Make the folder writable first, so that its entries can be unlinked: the counterpart of
    // clearing a read-only attribute.
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    for (const auto& entry : entries) {
        const auto status = fs::symlink_status(entry, ec);
        if (!ec && fs::is_directory(status)) {
            RemoveContents(entry);
        }
        // A link, file or emptied folder; a link is removed as a link. A read-only file is made
        // writable first, which some systems need before they delete it.
        if (!ec && fs::is_regular_file(status))
            fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove(entry, ec);
    }
}

}  // namespace

void RemoveDirectoryTree(const fs::path& folder) {
    std::error_code ec;
    const auto status = fs::symlink_status(folder, ec);
    if (ec || !fs::is_directory(status)) return;  // missing, a file, or a link: left alone
    RemoveContents(folder);
    fs::remove(folder, ec);
}

}  // namespace kstbell
