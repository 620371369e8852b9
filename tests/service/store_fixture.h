#pragma once

// What the store's tests share: a temporary state folder, a file's bytes, and entries made
// from a few fields.

#include <SQLiteCpp/Database.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "store/audit_entry.h"

namespace kstbell::store::test {

class TTempDir {
  public:
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kstbell-store-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TTempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Overwrites the first page of table's records in the database file with bytes no page has,
// as a failing disk would, while a service may have the file open: the log is folded into the
// file first (so that the damaged page is the one read) and a small commit afterwards makes
// every connection drop the pages it keeps in memory.
inline void DamageTable(const std::filesystem::path& file, const std::string& table) {
    SQLite::Database db(file, SQLite::OPEN_READWRITE, 5000);
    SQLite::Statement checkpoint(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    if (!checkpoint.executeStep() || checkpoint.getColumn(0).getInt() != 0)
        throw std::runtime_error("the log could not be folded into the file");
    const int pageSize = db.execAndGet("PRAGMA page_size").getInt();
    SQLite::Statement root(db, "SELECT rootpage FROM sqlite_master WHERE name = ?");
    root.bind(1, table);
    if (!root.executeStep()) throw std::runtime_error("no table " + table);
    const long long page = root.getColumn(0).getInt64();
    const std::string garbage(static_cast<std::size_t>(pageSize), '\xee');
    const int fd = ::open(file.c_str(), O_WRONLY);
    const bool written =
        fd >= 0 && ::pwrite(fd, garbage.data(), garbage.size(), (page - 1) * pageSize) ==
                       static_cast<ssize_t>(garbage.size());
    if (fd >= 0) ::close(fd);
    if (!written) throw std::runtime_error("the page could not be written");
    db.exec("PRAGMA user_version = " +
            std::to_string(db.execAndGet("PRAGMA user_version").getInt()));
}

// Sets or clears a file's immutable flag (chattr +i): not even root may write it then. False
// where the file system has no such flag.
inline bool SetImmutable(const std::filesystem::path& file, bool on) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

// 2027-01-07T08:00:00Z plus ms.
inline TUtcTime At(long long ms) {
    return FromUnixMs(1'799'308'800'000 + ms);
}

inline TAuditEntry Entry(long long ms, TAuditKind kind, TAuditCause cause, std::string horn = "",
                         std::string detail = "") {
    return {.At = At(ms), .Kind = kind, .Cause = cause, .HornAddress = horn, .Detail = detail};
}

}  // namespace kstbell::store::test
