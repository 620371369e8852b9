#pragma once

// A new password for the command line: from a file's first line, or typed twice on the
// terminal without echo. A password file that others may read is refused, one that its group
// may read is warned about. The password is never written anywhere.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace kstbell::users {

// Reads the password into `password`, or says why not in `error`. Without a file it asks on
// err and reads two lines from `in`, with echo switched off when `in` is std::cin on a
// terminal. Warnings go to err.
bool ReadNewPassword(const std::optional<std::filesystem::path>& file, const std::string& user,
                     std::istream& in, std::ostream& err, std::string& password,
                     std::string& error);

}  // namespace kstbell::users
