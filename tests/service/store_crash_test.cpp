#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <sstream>
#include <thread>

#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::TTempDir;

// What store_crash_writer said it had committed before it was killed.
struct TAcks {
    long long LastEntry = -1;
    std::vector<std::pair<std::int64_t, long long>> Rings;  // ring id, entry
};

// Starts the writer on stateDir, kills it with SIGKILL after delay, and reads what it said.
TAcks RunAndKill(const std::filesystem::path& stateDir, std::chrono::microseconds delay) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string program = KSTBELL_STORE_CRASH_WRITER;
    const std::string dirText = stateDir.string();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(dirText.c_str()),
                    nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);

    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself, status " << status;

    std::string said;
    char buffer[65536];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    ::close(out[0]);
    TAcks acks;
    std::istringstream lines(said);
    for (std::string tag; lines >> tag;) {
        if (tag == "e") {
            lines >> acks.LastEntry;
        } else {
            std::int64_t ring = 0;
            long long entry = 0;
            lines >> ring >> entry;
            acks.Rings.emplace_back(ring, entry);
        }
    }
    return acks;
}

// After each kill: the file is intact, the entries that remain are one unbroken run that
// holds every entry appended before (the last of them was before) and every entry the writer
// said it had appended, and at most the one it was writing; every ring it said it had
// recorded is there. Returns the last entry.
long long CheckAfterKill(const std::filesystem::path& stateDir, const TAcks& acks,
                         long long before) {
    if (std::filesystem::exists(DatabasePath(stateDir))) {  // not when killed before creating it
        SQLite::Database raw(DatabasePath(stateDir), SQLite::OPEN_READONLY);
        EXPECT_EQ(raw.execAndGet("PRAGMA integrity_check").getString(), "ok");
    }
    TStore store(stateDir);  // recovers the write-ahead log as the restarted service would
    TAuditQuery query{.Order = TAuditOrder::OldestFirst, .Limit = kMaxAuditLimit};
    long long expected = -1;
    long long last = -1;
    for (;;) {
        const TAuditPage page = store.Log().Query(query);
        for (const TAuditEntry& entry : page.Entries) {
            const long long seq = std::stoll(entry.Detail);
            if (expected >= 0 && seq != expected) {
                ADD_FAILURE() << "a gap or a duplicate: " << seq << " after " << expected - 1;
                return last;
            }
            expected = seq + 1;
            last = seq;
        }
        if (!page.Next) break;
        query.After = page.Next;
    }
    const long long known = std::max(acks.LastEntry, before);
    EXPECT_GE(last, known) << "an entry said to be appended is lost";
    EXPECT_LE(last, known + 1) << "more than the entry being written appeared";
    for (const auto& [ring, entry] : acks.Rings) {
        const auto found = store.Rings().Find(ring);
        if (!found) {
            ADD_FAILURE() << "ring " << ring << " of entry " << entry << " lost";
        } else {
            EXPECT_EQ(found->Horns.size(), 2u);
        }
    }
    return last;
}

TEST(StoreCrash, KilledAtRandomMomentsTheFileStaysWholeAndLosesAtMostOneEntry) {
    struct TCase {
        const char* name;
        bool freshFolder;  // each round starts with no database: kills land in its setting up
        int rounds;
        int maxDelayUs;
    };
    const TCase cases[] = {
        {"a database in use", false, 40, 120'000},
        {"a database being created", true, 30, 60'000},
    };
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << ", seed " << seed);
        std::optional<TTempDir> dir(std::in_place);
        long long last = -1;
        int kills = 0;
        for (int round = 0; round < c.rounds; ++round) {
            SCOPED_TRACE(testing::Message() << "round " << round);
            if (c.freshFolder) {
                dir.emplace();
                last = -1;
            }
            const std::chrono::microseconds delay(
                std::uniform_int_distribution<int>(0, c.maxDelayUs)(random));
            const TAcks acks = RunAndKill(dir->Path(), delay);
            last = CheckAfterKill(dir->Path(), acks, last);
            if (HasFailure()) return;
            kills += acks.LastEntry >= 0 ? 1 : 0;
        }
        // Kills that landed after the writer's first append (the rest hit its start).
        RecordProperty(c.name, kills);
    }
}

}  // namespace
}  // namespace kstbell::store
