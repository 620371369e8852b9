#include "cli/token_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "text/control.h"

namespace kstbell::cli {

namespace {

constexpr std::size_t kMaxTokenFileBytes = 4096;

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777U);
    return text;
}

}  // namespace

bool ReadTokenFile(const std::string& path, TTokenFile& out, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = "cannot read the token file " + path + ": " + std::strerror(errno);
        return false;
    }
    // A pipe is a file too: --token-file <(secret-tool lookup ...) keeps the token off disk.
    const bool pipe = S_ISFIFO(info.st_mode);
    if (!S_ISREG(info.st_mode) && !pipe) {
        error = "the token file " + path + " is not a file";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the token file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string bytes(kMaxTokenFileBytes + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        error = "cannot read the token file " + path;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    if (bytes.size() > kMaxTokenFileBytes) {
        error = "the token file " + path + " is longer than " + std::to_string(kMaxTokenFileBytes) +
                " bytes: is it the right file?";
        return false;
    }
    std::string line = bytes.substr(0, bytes.find('\n'));
    const auto first = line.find_first_not_of(" \t\r");
    const auto last = line.find_last_not_of(" \t\r");
    line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
    if (line.empty()) {
        error = "the token file " + path + " holds no token on its first line";
        return false;
    }
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ' || !text::IsPrintableAscii(byte)) {
            error = "the first line of the token file " + path +
                    " holds characters no token has (spaces, control characters or bytes "
                    "beyond ASCII)";
            return false;
        }
    }
    out.Token = line;
    out.Warning.clear();
    if (!pipe && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        out.Warning = "the token file " + path + " is open to other users (mode " +
                      Octal(info.st_mode) + "); anyone who reads it acts as its user: chmod 600 " +
                      path;
    return true;
}

}  // namespace kstbell::cli
