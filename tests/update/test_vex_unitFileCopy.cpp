// Copying a file's content between descriptors (sizes around the block, stops between blocks,
// holes) and making folder trees beneath a root (parents, files and links in the way, paths
// longer than PATH_MAX).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "framework/vex_unitFileCopy.h"
#include "tests/common/temp_tree.h"

using namespace testutil;

namespace {

struct stat Stat(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
}

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
    return s;
}

// Copies the file `src` into a new file `dst` as the local side does; `moved` adds up the bytes
// each block reports.
bool Copy(const std::string& src, const std::string& dst, const vex::StopTest& stop, int64_t& moved, std::string& error)
{
    const int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    struct stat st {};
    EXPECT_TRUE(in >= 0 && out >= 0 && fstat(in, &st) == 0) << src;
    int err = 0;
    moved = 0;
    const bool ok = vex::CopyFileContent(
        in, out, st, stop, [&](int64_t n) { moved += n; }, error, err);
    close(in);
    close(out);
    return ok;
}

}  // namespace

// Every size around the block arrives whole; a stop is asked only between blocks, so a file of
// one block always arrives and a larger one stops with the system's text.
TEST(FileCopy, ContentArrivesWholeAndStopsOnlyBetweenBlocks)
{
    struct Case {
        const char* name;
        size_t size;
        int stopAtAsk;  // 0: never stop
        bool copied;
        int asked;
    };
    const Case cases[] = {
        {"empty", 0, 0, true, 0},
        {"small", 1000, 1, true, 0},
        {"exactly one block", 1048576, 1, true, 0},
        {"one block and a byte", 1048577, 1, false, 1},
        {"several blocks and a tail", 3 * 1048576 + 17, 0, true, 3},
        {"stopped at the second ask", 5 * 1048576, 2, false, 2},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "src", Pattern(c.size));
        int asked = 0;
        auto stop = [&] { return ++asked == c.stopAtAsk; };
        int64_t moved = 0;
        std::string error;
        EXPECT_EQ(Copy(dir / "src", dir / "dst", stop, moved, error), c.copied) << error;
        EXPECT_EQ(asked, c.asked);
        if (c.copied) {
            EXPECT_EQ(ReadFile(dir / "dst"), Pattern(c.size));
            EXPECT_EQ(moved, static_cast<int64_t>(c.size));
        } else {
            EXPECT_EQ(error, "Operation canceled");
        }
    }
}

TEST(FileCopy, SparseFilesStaySparse)
{
    TempDir dir;
    const std::string src = dir / "sparse";
    constexpr off_t kTailAt = 16 << 20, kSize = 24 << 20;  // a hole in the middle and at the end
    int fd = open(src.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(pwrite(fd, "tail", 4, kTailAt), 4);
    ASSERT_EQ(ftruncate(fd, kSize), 0);
    close(fd);
    if (Stat(src).st_blocks * 512 > (2 << 20)) GTEST_SKIP() << "this file system keeps no holes";
    int64_t moved = 0;
    std::string error;
    ASSERT_TRUE(Copy(src, dir / "copy", nullptr, moved, error)) << error;
    const struct stat copy = Stat(dir / "copy");
    EXPECT_EQ(copy.st_size, kSize);
    EXPECT_LE(copy.st_blocks * 512, 2 << 20) << "the holes were filled";
    fd = open((dir / "copy").c_str(), O_RDONLY);
    char head[4] = {}, tail[4] = {};
    EXPECT_EQ(pread(fd, head, 4, 0), 4);
    EXPECT_EQ(pread(fd, tail, 4, kTailAt), 4);
    EXPECT_EQ(std::string(head, 4), "head");
    EXPECT_EQ(std::string(tail, 4), "tail");
    EXPECT_EQ(lseek(fd, 4096, SEEK_DATA), kTailAt) << "nothing but a hole between the two";
    close(fd);
}

TEST(FileOps, MakeFoldersCreatesParentsAndRefusesWhatIsInTheWay)
{
    TempDir dir;
    WriteFile(dir / "file", "x");
    WriteFile(dir / "outside/keep.txt", "k");
    MakeDirs(dir / "root");
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "root/link").c_str()), 0);
    struct Case {
        std::string root, path;
        bool made;
        std::string error;
    };
    const Case cases[] = {
        {dir.path(), dir / "a/b/c", true, ""},
        {dir.path(), dir / "a/b", true, ""},  // an existing folder is fine
        {dir.path(), dir / "file", false, "File exists"},
        {dir.path(), dir / "file/sub", false, "Not a directory"},
        {dir / "root", dir / "root/link", false,
         "\"" + dir / "root/link" + "\" is a symbolic link; nothing is written through it"},
        {dir / "root", dir / "root/link/new", false,
         "\"" + dir / "root/link" + "\" is a symbolic link; nothing is written through it"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(vex::MakeFolderTree(c.root, c.path, error), c.made) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        if (c.made) {
            EXPECT_TRUE(S_ISDIR(Stat(c.path).st_mode)) << c.path;
        }
    }
    EXPECT_FALSE(Exists(dir / "outside/new"));
}

// Each call names one component, so folders deeper than PATH_MAX are made.
TEST(FileOps, MakeFoldersReachesPathsLongerThanPathMax)
{
    TempDir dir;
    std::string deep = dir.path();
    while (deep.size() < 4500) deep += "/" + std::string(200, 'd');
    std::string error;
    ASSERT_TRUE(vex::MakeFolderTree(dir.path(), deep, error)) << error;
    int depth = 0;
    for (int fd = open(dir.path().c_str(), O_DIRECTORY | O_CLOEXEC), next; fd >= 0; fd = next, ++depth) {
        next = openat(fd, std::string(200, 'd').c_str(), O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
    }
    EXPECT_EQ(depth, 1 + static_cast<int>((deep.size() - dir.path().size()) / 201)) << "the root and each folder";
    // Removed from the deepest up, one component per call, as the path is too long to name.
    for (int levels = depth - 1; levels > 0; --levels) {
        int fd = open(dir.path().c_str(), O_DIRECTORY | O_CLOEXEC);
        for (int i = 1; i < levels; ++i) {
            const int next = openat(fd, std::string(200, 'd').c_str(), O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            close(fd);
            fd = next;
        }
        ASSERT_EQ(unlinkat(fd, std::string(200, 'd').c_str(), AT_REMOVEDIR), 0) << levels;
        close(fd);
    }
}
