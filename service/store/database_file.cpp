#include "service/store/database_file.h"

#include <SQLiteCpp/Database.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>

#include "service/store/schema.h"
#include "service/store/store_error.h"

namespace kstbell::store {

namespace fs = std::filesystem;

namespace {

// The write-ahead log is cut back to this size after a checkpoint.
constexpr int kJournalSizeLimit = 16 * 1024 * 1024;
// A temporary file this old is left over from a process killed while creating the database
// (and not one that another process is creating right now).
constexpr auto kStaleAfter = std::chrono::minutes(10);

[[noreturn]] void CannotCreate(const fs::path& path, const std::string& why) {
    throw TStoreError(TStoreErrorKind::CannotOpen, path.string() + ": " + why);
}

std::string TempPrefix(const fs::path& file) {
    return "." + file.filename().string() + ".new-";
}

void RemoveStaleTemporaries(const fs::path& folder, const fs::path& file) {
    const std::string prefix = TempPrefix(file);
    const auto now = fs::file_time_type::clock::now();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (name.starts_with(prefix) && now - entry.last_write_time(ignored) > kStaleAfter) {
            fs::remove(entry.path(), ignored);
        }
    }
}

// Removes the temporary database and whatever SQLite left beside it.
class TTemporary {
  public:
    explicit TTemporary(std::string path) : path_(std::move(path)) {}
    ~TTemporary() {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            ::unlink((path_ + suffix).c_str());
        }
    }
    TTemporary(const TTemporary&) = delete;
    TTemporary& operator=(const TTemporary&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void SetUpConnection(SQLite::Database& db, const fs::path& file) {
    const std::string mode = db.execAndGet("PRAGMA journal_mode = WAL").getString();
    if (mode != "wal") {
        CannotCreate(file, "write-ahead logging is not available here (journal mode " + mode + ")");
    }
    db.exec("PRAGMA synchronous = NORMAL");
    db.exec("PRAGMA foreign_keys = ON");
    db.exec("PRAGMA journal_size_limit = " + std::to_string(kJournalSizeLimit));
}

void CreateIfMissing(const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    std::error_code error;
    if (!fs::exists(folder, error)) {
        fs::create_directories(folder, error);
        if (!error) fs::permissions(folder, fs::perms::owner_all, error);
        if (error) CannotCreate(folder, "cannot create the folder: " + error.message());
    }
    RemoveStaleTemporaries(folder, file);

    struct stat info {};
    if (::lstat(file.c_str(), &info) == 0) {
        // An empty file holds nothing; it is replaced by a database.
        if (!S_ISREG(info.st_mode) || info.st_size > 0) return;
        ::unlink(file.c_str());
    } else if (errno != ENOENT) {
        CannotCreate(file, std::strerror(errno));
    }

    std::string pattern = (folder / TempPrefix(file)).string() + "XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) CannotCreate(folder, std::string("cannot create a file: ") + std::strerror(errno));
    ::close(fd);
    const TTemporary temporary(pattern);
    try {
        SQLite::Database db(temporary.Path(), SQLite::OPEN_READWRITE, kBusyTimeoutMs);
        SetUpConnection(db, temporary.Path());
        Migrate(db, temporary.Path().c_str());
    } catch (const SQLite::Exception& failure) {
        CannotCreate(file, std::string("cannot set up a new database: ") + failure.what());
    }
    // Closed: its log is checkpointed into it and removed. A link never replaces a file,
    // so a database that another process put in place meanwhile wins.
    if (::link(temporary.Path().c_str(), file.c_str()) != 0 && errno != EEXIST) {
        CannotCreate(file, std::string("cannot create the file: ") + std::strerror(errno));
    }
    SyncFolder(folder);
}

}  // namespace kstbell::store
