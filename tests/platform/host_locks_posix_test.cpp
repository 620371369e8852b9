// The horns' locks on flock files: which holds conflict and when they end, the files' names,
// the folders they go in, and files that are not what they seem.

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/host_locks_posix.h"
#include "platform/lock_file_name.h"

namespace kstbell {
namespace {

namespace fs = std::filesystem;
using TStatus = THoldAttempt::TStatus;

struct TTempFolder {
    TTempFolder() {
        std::string pattern = (fs::temp_directory_path() / "kstbell-locks-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~TTempFolder() { fs::remove_all(Path); }
    std::string Path;
};

TPosixHostLocks LocksIn(const std::string& folder) {
    return TPosixHostLocks({{folder, "", true}});
}

TEST(PosixHostLocksTest, HoldsConflictWhenOneIsExclusiveAndEndWithTheirHolder) {
    TTempFolder dir;
    // Two holders as two programs: holds on separate descriptors conflict inside one process too.
    TPosixHostLocks first = LocksIn(dir.Path);
    TPosixHostLocks second = LocksIn(dir.Path);
    const THoldKind S = THoldKind::Shared;
    const THoldKind X = THoldKind::Exclusive;
    struct Case {
        THoldKind held, asked;
        TStatus expected;
    };
    for (const Case& c : {Case{S, S, TStatus::Taken}, Case{S, X, TStatus::HeldElsewhere},
                          Case{X, S, TStatus::HeldElsewhere}, Case{X, X, TStatus::HeldElsewhere}}) {
        THoldAttempt held = first.TryHold("127.0.0.1", 13577, c.held);
        ASSERT_EQ(held.Status, TStatus::Taken) << held.Problem;
        // The same horn however its address is spelt; other addresses and ports are free.
        EXPECT_EQ(second.TryHold("127.000.0.01", 13577, c.asked).Status, c.expected);
        EXPECT_EQ(second.TryHold("127.0.0.2", 13577, X).Status, TStatus::Taken);
        EXPECT_EQ(second.TryHold("127.0.0.1", 13578, X).Status, TStatus::Taken);
        held.Hold.reset();
        EXPECT_EQ(second.TryHold("127.0.0.1", 13577, X).Status, TStatus::Taken);
    }
    // Two shared holds end in either order; the last holder takes the file away.
    THoldAttempt a = first.TryHold("127.0.0.1", 13577, S);
    THoldAttempt b = second.TryHold("127.0.0.1", 13577, S);
    ASSERT_TRUE(a.Hold && b.Hold);
    a.Hold.reset();
    EXPECT_EQ(first.TryHold("127.0.0.1", 13577, X).Status, TStatus::HeldElsewhere);
    EXPECT_TRUE(fs::exists(dir.Path + "/127.0.0.1-13577.lock"));
    b.Hold.reset();
    EXPECT_TRUE(fs::is_empty(dir.Path));
}

TEST(PosixHostLocksTest, ALinkFifoOrFolderInPlaceOfALockFileIsRefusedNotFollowed) {
    TTempFolder dir;
    TPosixHostLocks locks = LocksIn(dir.Path);
    const std::string lock = dir.Path + "/127.0.0.1-13577.lock";
    const std::string victim = dir.Path + "/victim";
    const std::string kept = dir.Path + "/kept";
    std::ofstream(kept) << "keep";
    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* problem;
    };
    const Case cases[] = {
        {"a dangling link", [&] { fs::create_symlink(victim, lock); },
         "is a symbolic link (not followed)"},
        {"a link to a file", [&] { fs::create_symlink(kept, lock); },
         "is a symbolic link (not followed)"},
        {"a FIFO", [&] { ASSERT_EQ(mkfifo(lock.c_str(), 0666), 0); }, "is not a regular file"},
        {"a folder", [&] { fs::create_directory(lock); }, "is not a regular file"},
    };
    for (const Case& c : cases) {
        c.plant();
        for (THoldKind kind : {THoldKind::Shared, THoldKind::Exclusive}) {
            const THoldAttempt a = locks.TryHold("127.0.0.1", 13577, kind);
            EXPECT_EQ(a.Status, TStatus::Unusable) << c.what;
            EXPECT_EQ(a.Problem, lock + " " + c.problem) << c.what;
        }
        fs::remove(lock);
    }
    EXPECT_FALSE(fs::exists(victim));
    std::string text;
    std::ifstream(kept) >> text;
    EXPECT_EQ(text, "keep");
}

TEST(PosixHostLocksTest, FoldersAreMadeForTheirUsersAndUntrustedOnesPassedOver) {
    TTempFolder dir;
    const mode_t umaskBefore = umask(077);
    TPosixHostLocks made({{dir.Path, "shared", true}, {dir.Path, "own/locks", false}});
    std::string problem;
    EXPECT_EQ(made.Folder(problem), dir.Path + "/shared") << problem;
    TPosixHostLocks own({{dir.Path, "own/locks", false}});
    EXPECT_EQ(own.Folder(problem), dir.Path + "/own/locks") << problem;
    umask(umaskBefore);
    auto modeOf = [](const std::string& p) { return fs::status(p).permissions(); };
    EXPECT_EQ(modeOf(dir.Path + "/shared"), fs::perms::all | fs::perms::sticky_bit);
    EXPECT_EQ(modeOf(dir.Path + "/own"), fs::perms::owner_all);
    EXPECT_EQ(modeOf(dir.Path + "/own/locks"), fs::perms::owner_all);

    // A private folder others may write in, and a link where a folder belongs, are passed over.
    fs::create_directory(dir.Path + "/open");
    fs::permissions(dir.Path + "/open", fs::perms::all);
    fs::create_directory(dir.Path + "/elsewhere");
    fs::create_directory_symlink(dir.Path + "/elsewhere", dir.Path + "/link");
    TPosixHostLocks fallback(
        {{dir.Path, "open", false}, {dir.Path, "link", true}, {dir.Path, "last", false}});
    EXPECT_EQ(fallback.Folder(problem), dir.Path + "/last");
}

// What is done to the files in a folder while a watch lives: opens, creations and removals of
// named files, as another program would see them.
struct TFolderWatch {
    explicit TFolderWatch(const std::string& folder) : Fd(inotify_init1(IN_NONBLOCK)) {
        inotify_add_watch(Fd, folder.c_str(), IN_OPEN | IN_CREATE | IN_DELETE);
    }
    ~TFolderWatch() { close(Fd); }
    int Touches() {
        int n = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = read(Fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                n += e->len > 0 ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        return n;
    }
    int Fd;
};

TEST(PosixStandingLocksTest, PollsTouchTheLockFileOnlyWhileAnotherProgramIsAbout) {
    const THoldKind S = THoldKind::Shared;
    const THoldKind X = THoldKind::Exclusive;
    struct Case {
        const char* what;
        // What the other program does first (with the poller's attempts it needs).
        std::function<void(TPosixHostLocks& poller, TPosixHostLocks& other,
                           std::unique_ptr<IHostHold>& kept)>
            other;
        TStatus polls;
        bool touched;  // every poll opens the file
    };
    const Case cases[] = {
        {"alone", [](TPosixHostLocks&, TPosixHostLocks&, std::unique_ptr<IHostHold>&) {},
         TStatus::Taken, false},
        {"another program polled the horn",
         [&](TPosixHostLocks&, TPosixHostLocks& other, std::unique_ptr<IHostHold>&) {
             EXPECT_EQ(other.TryHold("127.0.0.1", 13577, S).Status, TStatus::Taken);
         },
         TStatus::Taken, true},
        {"another program transfers to the horn",
         [&](TPosixHostLocks& poller, TPosixHostLocks& other, std::unique_ptr<IHostHold>& kept) {
             // The standing hold is let go at the poller's next attempt, on any horn.
             EXPECT_EQ(other.TryHold("127.0.0.1", 13577, X).Status, TStatus::HeldElsewhere);
             EXPECT_EQ(poller.TryHold("127.0.0.2", 13577, S).Status, TStatus::Taken);
             THoldAttempt a = other.TryHold("127.0.0.1", 13577, X);
             EXPECT_EQ(a.Status, TStatus::Taken);
             kept = std::move(a.Hold);
         },
         TStatus::HeldElsewhere, true},
        {"another program's transfer ended",
         [&](TPosixHostLocks& poller, TPosixHostLocks& other, std::unique_ptr<IHostHold>&) {
             EXPECT_EQ(other.TryHold("127.0.0.1", 13577, X).Status, TStatus::HeldElsewhere);
             EXPECT_EQ(poller.TryHold("127.0.0.2", 13577, S).Status, TStatus::Taken);
             EXPECT_EQ(other.TryHold("127.0.0.1", 13577, X).Status, TStatus::Taken);
         },
         TStatus::Taken, true},
    };
    for (const Case& c : cases) {
        TTempFolder dir;
        {
            TPosixHostLocks poller({{dir.Path, "", true}}, true);
            TPosixHostLocks other = LocksIn(dir.Path);
            ASSERT_EQ(poller.TryHold("127.0.0.1", 13577, S).Status, TStatus::Taken) << c.what;
            std::unique_ptr<IHostHold> kept;
            c.other(poller, other, kept);
            TFolderWatch watch(dir.Path);
            for (int i = 0; i < 5; ++i) {
                const THoldAttempt poll = poller.TryHold("127.0.0.1", 13577, S);
                EXPECT_EQ(poll.Status, c.polls) << c.what;
                // Read after each poll: the system merges a run of like events.
                EXPECT_EQ(watch.Touches() > 0, c.touched) << c.what << ", poll " << i;
            }
        }
        // Standing holds end with their holder and take their files away.
        EXPECT_TRUE(fs::is_empty(dir.Path)) << c.what;
    }
}

TEST(PosixStandingLocksTest, HoldsOfTheProcessConflictWhenOneIsExclusive) {
    const THoldKind S = THoldKind::Shared;
    const THoldKind X = THoldKind::Exclusive;
    struct Case {
        THoldKind held, asked;
        TStatus expected;
    };
    for (const Case& c : {Case{S, S, TStatus::Taken}, Case{S, X, TStatus::HeldElsewhere},
                          Case{X, S, TStatus::HeldElsewhere}, Case{X, X, TStatus::HeldElsewhere}}) {
        TTempFolder dir;
        TPosixHostLocks locks({{dir.Path, "", true}}, true);
        THoldAttempt held = locks.TryHold("127.0.0.1", 13577, c.held);
        ASSERT_EQ(held.Status, TStatus::Taken) << held.Problem;
        EXPECT_EQ(locks.TryHold("127.000.0.01", 13577, c.asked).Status, c.expected);
        EXPECT_EQ(locks.TryHold("127.0.0.2", 13577, X).Status, TStatus::Taken);
        held.Hold.reset();
        // A standing shared hold gives way to the process's own transfer.
        EXPECT_EQ(locks.TryHold("127.0.0.1", 13577, X).Status, TStatus::Taken);
        // ... and to another program's (which opens the file: let go at the next attempt).
        EXPECT_EQ(locks.TryHold("127.0.0.1", 13577, S).Status, TStatus::Taken);
        TPosixHostLocks other = LocksIn(dir.Path);
        EXPECT_EQ(other.TryHold("127.0.0.1", 13577, X).Status, TStatus::HeldElsewhere);
        EXPECT_EQ(locks.TryHold("127.0.0.3", 13577, S).Status, TStatus::Taken);
        EXPECT_EQ(other.TryHold("127.0.0.1", 13577, X).Status, TStatus::Taken);
    }
}

TEST(LockFileNameTest, OneNamePerHornThatStaysInItsFolder) {
    struct Case {
        std::string address;
        std::uint16_t port;
        std::string name;
    };
    const Case cases[] = {
        {"192.168.77.1", 13577, "192.168.77.1-13577.lock"},
        {"192.168.077.001", 13577, "192.168.77.1-13577.lock"},
        {"../../etc/passwd", 1, ".._.._etc_passwd-1.lock"},
        {"a b\n\x01", 2, "a_b__-2.lock"},
        {std::string(300, 'x'), 3, std::string(200, 'x') + "-3.lock"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LockFileName(c.address, c.port), c.name) << c.address;
}

}  // namespace
}  // namespace kstbell
