#include "store/store.h"

#include "store/database.h"

namespace kstbell::store {

std::filesystem::path DatabasePath(const std::filesystem::path& stateDir) {
    return stateDir / kDatabaseFileName;
}

TStore::TStore(const std::filesystem::path& stateDir, TFolderOwner owner)
    : db_(std::make_unique<TDatabase>(DatabasePath(stateDir), TOpenMode::ReadWrite, owner)),
      log_(*db_),
      rings_(*db_),
      state_(*db_),
      users_(*db_),
      tokens_(*db_),
      sessions_(*db_),
      exceptions_(*db_),
      timetable_(*db_),
      siteNames_(*db_) {}

TStore::~TStore() = default;

const std::filesystem::path& TStore::File() const {
    return db_->File();
}

std::vector<std::string> TStore::Problems() const {
    return db_->Health().Problems();
}

void TStore::SetProblemLog(std::function<void(const std::string&)> log) {
    db_->Health().SetLog(std::move(log));
}

TPruneResult TStore::Prune(TUtcTime now, std::chrono::days logDays) {
    return TPruneResult{log_.PruneBefore(now - logDays),
                        rings_.PruneDoneBefore(now - kDoneRingDays)};
}

}  // namespace kstbell::store
