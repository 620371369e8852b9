#include "shell/remove_directory_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <random>

namespace kstbell::test {
namespace {

namespace fs = std::filesystem;

// A scratch folder of its own under the system's temporary folder.
struct RemoveDirectoryTreeTest : ::testing::Test {
    fs::path root;
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("kstbell-rdt-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }
    static void Touch(const fs::path& p, const std::string& text = "x") {
        std::ofstream(p) << text;
    }
};

TEST_F(RemoveDirectoryTreeTest, RemovesNestedFoldersAndReadOnlyFiles) {
    const fs::path temp = root / "temp";
    fs::create_directories(temp / "a" / "b" / "c");
    fs::create_directories(temp / ".hidden");
    Touch(temp / "one.txt");
    Touch(temp / "a" / "b" / "c" / "deep.bin");
    Touch(temp / ".hidden" / "f");
    const fs::path ro = temp / "a" / "readonly.txt";
    Touch(ro);
    fs::permissions(ro, fs::perms::owner_read);
    fs::permissions(temp / "a" / "b", fs::perms::owner_read | fs::perms::owner_exec);

    RemoveDirectoryTree(temp);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(fs::exists(root));
}

TEST_F(RemoveDirectoryTreeTest, LinksAreRemovedAsLinksNeverFollowed) {
    const fs::path keep = root / "keep";
    fs::create_directories(keep / "sub");
    Touch(keep / "precious.txt");
    Touch(keep / "sub" / "more.txt");
    const fs::path temp = root / "temp";
    fs::create_directories(temp);
    fs::create_directory_symlink(keep, temp / "dirlink");
    fs::create_symlink(keep / "precious.txt", temp / "filelink");
    fs::create_symlink(root / "nowhere", temp / "dangling");

    RemoveDirectoryTree(temp);
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
    EXPECT_TRUE(fs::exists(keep / "precious.txt"));
    EXPECT_TRUE(fs::exists(keep / "sub" / "more.txt"));
}

TEST_F(RemoveDirectoryTreeTest, FolderThatIsALinkIsLeftAlone) {
    const fs::path target = root / "real";
    fs::create_directories(target);
    Touch(target / "data.txt");
    const fs::path temp = root / "temp";
    fs::create_directory_symlink(target, temp);

    RemoveDirectoryTree(temp);
    EXPECT_TRUE(fs::is_symlink(temp));
    EXPECT_TRUE(fs::exists(target / "data.txt"));
}

TEST_F(RemoveDirectoryTreeTest, MissingFolderOrPlainFileIsNotAnError) {
    RemoveDirectoryTree(root / "absent");
    Touch(root / "temp");
    RemoveDirectoryTree(root / "temp");
    EXPECT_TRUE(fs::exists(root / "temp"));
}

}  // namespace
}  // namespace kstbell::test
