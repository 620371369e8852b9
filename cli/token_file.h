#pragma once

// The API token of --token-file: the file's first line, trimmed. A file other users may read
// or change still works, with a warning (the token is as good as a password).

#include <string>

namespace kstbell::cli {

struct TTokenFile {
    std::string Token;
    // Set when the file is open to other users: what to do about it.
    std::string Warning;
};

// A pipe is read as a file. False, with the reason, for a file that cannot be read or is no
// file (a folder, a device), one too long to be a
// token file, a first line that is empty or holds characters no token has (spaces inside,
// control characters, bytes beyond ASCII), which would otherwise end up in a request header.
bool ReadTokenFile(const std::string& path, TTokenFile& out, std::string& error);

}  // namespace kstbell::cli
