#pragma once

// A new password for the command line: from a file's first line, or typed twice on the
// terminal without echo. A password file that others may read is refused, one that its group
// may read is warned about. The password is never written anywhere.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace kstbell::users {

// Reads the password into `password`, or says why not in `error`. Without a file it reads two
// lines from `in`; when `in` is std::cin on a terminal, it asks for them on err with the echo
// switched off. Warnings go to err.
bool ReadNewPassword(const std::optional<std::filesystem::path>& file, const std::string& user,
                     std::istream& in, std::ostream& err, std::string& password,
                     std::string& error);

}  // namespace kstbell::users
