#include "store/store_health.h"

#include <sys/statvfs.h>
#include <unistd.h>

namespace kstbell::store {

namespace {

bool IsDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// The free bytes of the folder's disk that this process may use (root may use the reserve).
std::uint64_t FreeBytes(const std::filesystem::path& folder, bool& known) {
    struct statvfs disk {};
    known = ::statvfs(folder.c_str(), &disk) == 0;
    if (!known) return 0;
    const auto blocks = ::geteuid() == 0 ? disk.f_bfree : disk.f_bavail;
    return static_cast<std::uint64_t>(blocks) * disk.f_frsize;
}

}  // namespace

bool IsStoreFault(int code) {
    switch (code & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
        case SQLITE_CONSTRAINT:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_INTERRUPT:
        case SQLITE_MISUSE:
        case SQLITE_RANGE:
        case SQLITE_TOOBIG:
            return false;
        default:
            return true;
    }
}

void TStoreHealth::SetLog(TLog log) {
    const std::lock_guard lock(m_);
    log_ = std::move(log);
}

void TStoreHealth::Note(TProblem& problem, const std::string& message) {
    const bool first = !problem.Present;
    problem.Present = true;
    problem.Message = message;
    if (first && log_) log_(message);
}

void TStoreHealth::Clear(TProblem& problem, const char* recovered) {
    if (!problem.Present) return;
    problem.Present = false;
    if (log_) log_(recovered);
}

void TStoreHealth::Failed(bool writing, int code, const std::string& message) {
    if (!IsStoreFault(code)) return;
    const std::lock_guard lock(m_);
    if (IsDamage(code)) {
        Note(damaged_, "the database is damaged: " + message);
    } else if (writing) {
        Note(writing_, "the database cannot be written: " + message);
    } else {
        Note(reading_, "the database cannot be read: " + message);
    }
}

void TStoreHealth::Succeeded(bool writing) {
    const std::lock_guard lock(m_);
    if (writing) {
        Clear(writing_, "the database can be written again");
    } else {
        Clear(reading_, "the database can be read again");
    }
}

std::vector<std::string> TStoreHealth::Problems() const {
    std::vector<std::string> out;
    {
        const std::lock_guard lock(m_);
        for (const TProblem* problem : {&damaged_, &reading_, &writing_}) {
            if (problem->Present) out.push_back(problem->Message);
        }
    }
    bool known = false;
    const std::uint64_t free = FreeBytes(folder_, known);
    if (known && free < kFullDiskBytes) {
        out.push_back("the disk of " + folder_.string() + " is full (" + std::to_string(free) +
                      " bytes free)");
    }
    return out;
}

}  // namespace kstbell::store
