#include "store/database_file.h"

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

#include "store/schema.h"
#include "store/state_folder.h"
#include "store/store_error.h"

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

namespace {

std::string MarkerName(const fs::path& file) {
    return "." + file.filename().string() + ".made";
}

// What a file beside the database is, when it is not a plain file of its own: "a symbolic
// link", "a FIFO", ...; empty for a regular file.
std::string Oddity(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return {};
    if (S_ISLNK(info.st_mode)) return "a symbolic link";
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return "not a regular file";
}

// The log and the shared-memory index SQLite keeps beside the database: when present they
// must be plain files this process can write. SQLite maps the index into memory, and an
// index it may only read, or one that is no file, ends the process at its first write.
void CheckCompanions(const fs::path& file) {
    for (const char* suffix : {"-wal", "-shm"}) {
        const fs::path companion = file.string() + suffix;
        struct stat info {};
        if (::lstat(companion.c_str(), &info) != 0) {
            if (errno == ENOENT) continue;
            CannotCreate(companion, std::strerror(errno));
        }
        if (const std::string odd = Oddity(info); !odd.empty()) {
            CannotCreate(companion, "is " + odd + ", not a file of the database; refused");
        }
        const int fd = OpenInStateFolder(companion, O_RDWR | O_NONBLOCK);
        if (fd < 0) {
            CannotCreate(companion,
                         std::string("cannot be written: ") + std::strerror(errno) +
                             " (the database cannot be used before it is writable again)");
        }
        ::close(fd);
    }
}

// Notes beside the database that one was made here, so that the file found empty later is
// known to have lost what it held.
void Mark(const fs::path& folder, const fs::path& file) {
    const fs::path marker = folder / MarkerName(file);
    const int fd = OpenInStateFolder(marker, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) {
        if (errno == EEXIST) return;
        CannotCreate(marker, std::strerror(errno));
    }
    static constexpr char kText[] =
        "kstbelld keeps its database beside this file; an empty database here has lost its "
        "data and is refused.\n";
    const bool written =
        ::write(fd, kText, sizeof kText - 1) == static_cast<ssize_t>(sizeof kText - 1);
    ::close(fd);
    if (!written) CannotCreate(marker, "cannot be written");
}

// Why an empty database file is not taken for a new one, or empty: the folder held a
// database before (the marker), or its log holds what was written since.
std::string EmptyButUsed(const fs::path& folder, const fs::path& file) {
    struct stat info {};
    if (::lstat((folder / MarkerName(file)).c_str(), &info) == 0) {
        return "a database was made here before (" + MarkerName(file) + ")";
    }
    if (::lstat((file.string() + "-wal").c_str(), &info) == 0 && info.st_size > 0) {
        return "its write-ahead log is not empty";
    }
    return {};
}

}  // namespace

void PrepareFile(const fs::path& file, TFolderOwner owner) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    if (const std::string refused = PrepareStateFolder(folder, owner); !refused.empty()) {
        throw TStoreError(TStoreErrorKind::CannotOpen, refused);
    }
    RemoveStaleTemporaries(folder, file);

    struct stat info {};
    if (::lstat(file.c_str(), &info) == 0) {
        if (const std::string odd = Oddity(info); !odd.empty()) {
            CannotCreate(file, "is " + odd + ", not a database file; refused");
        }
        if (info.st_size > 0) {
            CheckCompanions(file);
            Mark(folder, file);
            return;
        }
        if (const std::string used = EmptyButUsed(folder, file); !used.empty()) {
            CannotCreate(file, "is empty, but " + used +
                                   ": its data is lost; restore it from a backup, or remove "
                                   "it and " +
                                   MarkerName(file) + " to start a new database");
        }
        // An empty file that never held anything is replaced by a database.
        ::unlink(file.c_str());
    } else if (errno != ENOENT) {
        CannotCreate(file, std::strerror(errno));
    }
    // A log left without its database would be taken for the new one's.
    const fs::path wal = file.string() + "-wal";
    if (::lstat(wal.c_str(), &info) == 0 && (!S_ISREG(info.st_mode) || info.st_size > 0)) {
        CannotCreate(wal, "is left without its database; move it away to start a new one");
    }
    CheckCompanions(file);

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
    Mark(folder, file);
    SyncFolder(folder);
}

}  // namespace kstbell::store
