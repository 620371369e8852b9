#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim/flash_store.h"

namespace kstbell::sim::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFlashMiB = 1024 * 1024;

std::vector<std::uint8_t> Bytes(std::size_t length) {
    return std::vector<std::uint8_t>(length, 0x5A);
}

// The space the files use follows every change, so that what fits is always what is free.
TEST(FlashStore, FileSpaceFollowsWritesReplacementsAndRemovals) {
    TFlashStore flash({}, nullptr);
    struct Step {
        enum { Write, Remove, RemoveLocal } Action;
        const char* Path;
        std::size_t Length;
        EFlashResult Result;
        std::size_t UsedAfter;
    };
    const Step steps[] = {
        {Step::Write, "/local/a", 3 * kFlashMiB, EFlashResult::Done, 3 * kFlashMiB},
        {Step::Write, "/local/b", kFlashMiB + 1, EFlashResult::NoSpace, 3 * kFlashMiB},
        {Step::Write, "/other/b", kFlashMiB, EFlashResult::Done, 4 * kFlashMiB},
        {Step::Write, "/local/a", kFlashMiB, EFlashResult::Done,
         2 * kFlashMiB},  // replaced, smaller
        {Step::Write, kImageSlotPath, 2 * kFlashMiB, EFlashResult::Done, 2 * kFlashMiB},
        {Step::Write, kImageSlotPath, 2 * kFlashMiB + 1, EFlashResult::NoSpace, 2 * kFlashMiB},
        {Step::Remove, "/local/a", 0, EFlashResult::Done, kFlashMiB},
        {Step::Remove, "/local/a", 0, EFlashResult::Missing, kFlashMiB},
        {Step::Write, "/local/c", 3 * kFlashMiB, EFlashResult::Done, 4 * kFlashMiB},
        {Step::RemoveLocal, "/local/", 0, EFlashResult::Done, kFlashMiB},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.Path) + " " + std::to_string(step.Length));
        switch (step.Action) {
            case Step::Write:
                EXPECT_EQ(flash.Write(step.Path, Bytes(step.Length)), step.Result);
                break;
            case Step::Remove:
                EXPECT_EQ(flash.Remove(step.Path), step.Result);
                break;
            case Step::RemoveLocal:
                EXPECT_EQ(flash.RemoveUnder(step.Path), step.Result);
                break;
        }
        EXPECT_EQ(flash.FileSpaceUsed(), step.UsedAfter);
        EXPECT_TRUE(flash.Fits("/new", kFileSpaceBytes - step.UsedAfter));
        EXPECT_FALSE(flash.Fits("/new", kFileSpaceBytes - step.UsedAfter + 1));
    }
    EXPECT_EQ(flash.All().size(), 2u);  // "/other/b" and the image
}

TEST(FlashStore, LoadingTheMirrorSkipsWhatDoesNotFit) {
    const fs::path dir =
        fs::temp_directory_path() / ("kstbell-flash-test-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sys");
    fs::create_directories(dir / "local");
    const auto put = [&](const fs::path& file, std::size_t length) {
        std::ofstream(dir / file, std::ios::binary)
            .write(std::string(length, 'x').data(), static_cast<std::streamsize>(length));
    };
    put("sys/mcuimg.bin", 2 * kFlashMiB + 1);
    put("local/huge.bin", 4 * kFlashMiB + 1);
    put("local/ok.cfg", 3);
    std::vector<std::string> reports;
    TFlashStore flash(dir.string(), [&](const std::string& line) { reports.push_back(line); });
    flash.LoadMirror();
    EXPECT_EQ(flash.All().size(), 1u);
    EXPECT_TRUE(flash.Find("/local/ok.cfg"));
    EXPECT_EQ(flash.FileSpaceUsed(), 3u);
    EXPECT_EQ(reports.size(), 2u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kstbell::sim::test
