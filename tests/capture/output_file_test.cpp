// Checked file writes: a failure names the file and why, and leaves nothing
// half-written under the requested name.
#include "output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder() {
        path = fs::temp_directory_path() /
               (std::string("capture-test-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(std::random_device{}()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(path), fs::directory_iterator()));
    }
};

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(OutputFile, AppearsOnlyWhenComplete) {
    Folder folder;
    const std::string path = (folder.path / "frame.png").string();
    std::string error;
    OutputFile file;
    ASSERT_TRUE(file.open(path, error)) << error;
    ASSERT_TRUE(file.write("abc", 3, error));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(file.writingPath().find(folder.path.string()), 0u); // beside the target
    ASSERT_TRUE(file.commit(error)) << error;
    EXPECT_EQ(contents(path), "abc");
    EXPECT_EQ(folder.entries(), 1u);
    // A new complete file replaces the old one; an abandoned one leaves it alone.
    ASSERT_TRUE(writeOutput(path, "defg", error)) << error;
    EXPECT_EQ(contents(path), "defg");
    {
        OutputFile dropped;
        ASSERT_TRUE(dropped.open(path, error));
        ASSERT_TRUE(dropped.write("x", 1, error));
    }
    EXPECT_EQ(contents(path), "defg");
    EXPECT_EQ(folder.entries(), 1u);
}

TEST(OutputFile, FailuresNameTheFileAndTheReason) {
    std::string error;
    EXPECT_FALSE(writeOutput("/dev/full", std::string(100000, 'x'), error));
    EXPECT_EQ(error, "cannot write /dev/full: No space left on device");

    Folder folder;
    const std::string missing = (folder.path / "no" / "such.png").string();
    EXPECT_FALSE(writeOutput(missing, "abc", error));
    EXPECT_EQ(error, "cannot write " + missing + ": No such file or directory");

    // A folder in the way: the rename fails, and no temporary file is left.
    const fs::path taken = folder.path / "taken";
    fs::create_directories(taken / "inside");
    EXPECT_FALSE(writeOutput(taken.string(), "abc", error));
    EXPECT_EQ(error.find("cannot write " + taken.string() + ": "), 0u) << error;
    EXPECT_EQ(folder.entries(), 1u);
}

// Names that only just fit, links and pipes: the file lands where the name
// points, under the name asked for, and nothing hidden stays behind.
TEST(OutputFile, LongNamesLinksAndPipes) {
    Folder folder;
    std::string error;
    // The hidden temporary name must still fit when the name is at the limit.
    for (std::size_t length : {240u, 241u, 250u, 255u}) {
        const std::string name = std::string(length - 4, 'n') + ".png";
        ASSERT_TRUE(writeOutput((folder.path / name).string(), "abc", error))
            << length << ": " << error;
        EXPECT_EQ(contents(folder.path / name), "abc");
        fs::remove(folder.path / name);
    }
    // Multi-byte characters are not cut in half in the temporary name.
    std::string wide;
    while (wide.size() + 2 <= 251)
        wide += "\xC3\xA9";
    ASSERT_TRUE(writeOutput((folder.path / (wide + ".txt")).string(), "e", error)) << error;
    EXPECT_EQ(folder.entries(), 1u);
    fs::remove(folder.path / (wide + ".txt"));

    // A link (to a link) is written through and stays a link; a dangling one
    // makes the file it names.
    fs::create_directories(folder.path / "real");
    fs::create_symlink("real/shot.png", folder.path / "inner.png");
    fs::create_symlink("inner.png", folder.path / "link.png");
    ASSERT_TRUE(writeOutput((folder.path / "link.png").string(), "pixels", error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder.path / "link.png"));
    EXPECT_TRUE(fs::is_symlink(folder.path / "inner.png"));
    EXPECT_EQ(contents(folder.path / "real" / "shot.png"), "pixels");
    ASSERT_TRUE(writeOutput((folder.path / "link.png").string(), "again", error)) << error;
    EXPECT_EQ(contents(folder.path / "real" / "shot.png"), "again");
    EXPECT_EQ(folder.entries(), 3u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path / "real"), {}), 1);
}
