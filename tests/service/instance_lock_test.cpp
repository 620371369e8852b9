// One service per state folder: the lock file is taken only as a file of this user in the
// folder itself, never through a link or over something else put in its place.

#include "service/instance_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "store_fixture.h"

namespace kstbell::service {
namespace {

namespace fs = std::filesystem;

TEST(InstanceLock, TakesItsOwnFileAndRefusesWhatStandsInItsPlace) {
    const struct {
        const char* What;
        // Prepares the folder; may keep a lock alive in held.
        std::function<void(const fs::path& dir, std::optional<TInstanceLock>& held)> Make;
        const char* Says;       // "": taken
        const char* Untouched;  // a file beside the folder that must keep its bytes, or null
    } cases[] = {
        {"an empty folder", [](const fs::path&, std::optional<TInstanceLock>&) {}, "", nullptr},
        {"a stale file of an ended instance",
         [](const fs::path& dir, std::optional<TInstanceLock>&) {
             std::ofstream(dir / kLockFileName) << "99999999\n";
         },
         "", nullptr},
        {"a lock held",
         [](const fs::path& dir, std::optional<TInstanceLock>& held) {
             std::string error;
             held.emplace();
             ASSERT_TRUE(held->Take(dir, error)) << error;
         },
         "another kstbelld (pid ", nullptr},
        {"a link to a file",
         [](const fs::path& dir, std::optional<TInstanceLock>&) {
             std::ofstream(dir.parent_path() / "victim") << "precious";
             fs::create_symlink(dir.parent_path() / "victim", dir / kLockFileName);
         },
         "it is a symbolic link; refused", "victim"},
        {"a link to nothing yet",
         [](const fs::path& dir, std::optional<TInstanceLock>&) {
             fs::create_symlink(dir.parent_path() / "made", dir / kLockFileName);
         },
         "it is a symbolic link; refused", nullptr},
        {"a folder",
         [](const fs::path& dir, std::optional<TInstanceLock>&) {
             fs::create_directory(dir / kLockFileName);
         },
         "kstbelld.lock cannot be opened", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        store::test::TTempDir outer;
        const fs::path dir = outer.Path() / "state";
        fs::create_directory(dir);
        fs::permissions(dir, fs::perms::owner_all);
        std::optional<TInstanceLock> held;
        c.Make(dir, held);
        TInstanceLock lock;
        std::string error;
        const bool taken = lock.Take(dir, error);
        if (*c.Says == '\0') {
            EXPECT_TRUE(taken) << error;
            EXPECT_EQ(store::test::ReadBytes(dir / kLockFileName),
                      std::to_string(::getpid()) + "\n");
        } else {
            EXPECT_FALSE(taken);
            EXPECT_NE(error.find(c.Says), std::string::npos) << error;
        }
        if (c.Untouched) {
            EXPECT_EQ(store::test::ReadBytes(outer.Path() / c.Untouched), "precious");
        }
        EXPECT_FALSE(fs::exists(outer.Path() / "made")) << "nothing made through the link";
    }
}

}  // namespace
}  // namespace kstbell::service
