#include "cli/safe_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kstbell::cli {

namespace {

constexpr int kNameAttempts = 16;

std::string RandomSuffix() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char text[24];
    std::snprintf(text, sizeof text, ".%016llx", static_cast<unsigned long long>(random()));
    return text;
}

// Creates a new file that did not exist, without following a link; -1 with errno otherwise.
int CreateExclusively(const std::string& path, bool ownerOnly) {
#ifdef _WIN32
    (void)ownerOnly;
    int fd = -1;
    const std::wstring wide = std::filesystem::path(path).wstring();
    if (_wsopen_s(&fd, wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
                  _S_IREAD | _S_IWRITE) != 0)
        return -1;
    return fd;
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  ownerOnly ? 0600 : 0666);
#endif
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
#ifdef _WIN32
        const int n = _write(fd, bytes.data(), static_cast<unsigned>(bytes.size()));
#else
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
#ifdef _WIN32
    return _commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

int CloseFile(int fd) {
#ifdef _WIN32
    return _close(fd);
#else
    return ::close(fd);
#endif
}

}  // namespace

bool WriteFileWhole(const std::string& path, std::string_view bytes, bool ownerOnly,
                    std::string& error) {
    std::string part;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        part = path + RandomSuffix() + ".part";
        fd = CreateExclusively(part, ownerOnly);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, bytes);
    const int writeError = errno;
    const bool closed = CloseFile(fd) == 0;
    std::error_code ec;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : writeError);
        std::filesystem::remove(part, ec);
        return false;
    }
    // A rename replaces a link at path itself, never the file it points to.
    std::filesystem::rename(part, path, ec);
    if (ec) {
        error = "cannot write " + path + ": " + ec.message();
        std::filesystem::remove(part, ec);
        return false;
    }
    return true;
}

}  // namespace kstbell::cli
