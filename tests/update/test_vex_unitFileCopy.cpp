#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <vector>

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

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* e = readdir(dir)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
    return s;
}

void SetNanoTime(const std::string& path, time_t sec, long nsec)
{
    timespec t[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

}  // namespace

TEST(FileCopy, KeepsContentPermissionsAndNanosecondTime)
{
    struct Case {
        const char* name;
        size_t size;
        mode_t mode;
    };
    const Case cases[] = {
        {"empty", 0, 0644},
        {"small", 1000, 0600},
        {"exactly one block", 1048576, 0640},
        {"several blocks and a tail", 3 * 1048576 + 17, 0755},
        {"read-only", 4096, 0444},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string src = dir / "src.bin", dst = dir / "dst.bin";
        WriteFile(src, Pattern(c.size));
        ASSERT_EQ(chmod(src.c_str(), c.mode), 0);
        SetNanoTime(src, 1300000000, 123456789);
        std::string error;
        ASSERT_TRUE(vex::CopyFileSafe(src, dst, nullptr, error)) << error;
        EXPECT_EQ(ReadFile(dst), Pattern(c.size));
        struct stat st = Stat(dst);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(st.st_mtim.tv_sec, 1300000000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
        EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"dst.bin", "src.bin"}));
        unlink(dst.c_str());
        unlink(src.c_str());
    }
}

TEST(FileCopy, ReplacesReadOnlyDestinationAndTakesSourceMode)
{
    TempDir dir;
    WriteFile(dir / "src", "new content");
    WriteFile(dir / "dst", "old");
    chmod((dir / "dst").c_str(), 0444);
    chmod((dir / "src").c_str(), 0664);
    std::string error;
    ASSERT_TRUE(vex::CopyFileSafe(dir / "src", dir / "dst", nullptr, error)) << error;
    EXPECT_EQ(ReadFile(dir / "dst"), "new content");
    EXPECT_EQ(Stat(dir / "dst").st_mode & 0777, 0664u);
}

TEST(FileCopy, StopDuringLargeCopyLeavesDestinationAndNoTemporaryFile)
{
    TempDir dir;
    WriteFile(dir / "big", Pattern(5 * 1048576));
    WriteFile(dir / "dst", "precious old content");
    int asked = 0;
    auto stopOnSecondBlock = [&asked] { return ++asked >= 2; };
    std::string error;
    EXPECT_FALSE(vex::CopyFileSafe(dir / "big", dir / "dst", stopOnSecondBlock, error));
    EXPECT_EQ(error, "Operation canceled");
    EXPECT_EQ(asked, 2) << "the stop flag is tested once between each two blocks";
    EXPECT_EQ(ReadFile(dir / "dst"), "precious old content");
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"big", "dst"}));
}

TEST(FileCopy, OnlyFilesOverOneBlockCanBeStopped)
{
    TempDir dir;
    auto alwaysStop = [] { return true; };
    std::string error;
    WriteFile(dir / "block", Pattern(1048576));
    EXPECT_TRUE(vex::CopyFileSafe(dir / "block", dir / "copy1", alwaysStop, error)) << error;
    WriteFile(dir / "block+1", Pattern(1048577));
    EXPECT_FALSE(vex::CopyFileSafe(dir / "block+1", dir / "copy2", alwaysStop, error));
    EXPECT_FALSE(Exists(dir / "copy2"));
}

TEST(FileCopy, SpecialFilesAreNeverOpened)
{
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    // Opening a FIFO for reading with no writer would block this test forever.
    std::string error;
    EXPECT_FALSE(vex::CopyFileSafe(dir / "fifo", dir / "out", nullptr, error));
    EXPECT_NE(error.find("Not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(vex::CopyFileSafe("/dev/zero", dir / "out", nullptr, error));
    EXPECT_NE(error.find("Not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(Exists(dir / "out"));
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"fifo"});
}

TEST(FileCopy, FailuresCarryTheSystemText)
{
    TempDir dir;
    WriteFile(dir / "src", "x");
    MakeDirs(dir / "folder");
    struct Case {
        const char* name;
        std::string source, dest, error;
    };
    const Case cases[] = {
        {"missing source", dir / "nothing", dir / "a", "No such file or directory"},
        {"missing destination folder", dir / "src", dir / "no/such/folder/a", "No such file or directory"},
        {"folder as source", dir / "folder", dir / "a", "Is a directory"},
        {"folder in the way of the destination", dir / "src", dir / "folder", "Is a directory"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(vex::CopyFileSafe(c.source, c.dest, nullptr, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"folder", "src"}));
    EXPECT_TRUE(Names(dir / "folder").empty());
}

TEST(FileCopy, LinksAreFollowedForReadingAndReplacedForWriting)
{
    TempDir dir;
    WriteFile(dir / "target", "through the link");
    WriteFile(dir / "elsewhere", "must stay");
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link-src").c_str()), 0);
    ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "link-dst").c_str()), 0);
    std::string error;
    ASSERT_TRUE(vex::CopyFileSafe(dir / "link-src", dir / "link-dst", nullptr, error)) << error;
    struct stat st;
    ASSERT_EQ(lstat((dir / "link-dst").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link itself is replaced";
    EXPECT_EQ(ReadFile(dir / "link-dst"), "through the link");
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "must stay");
}

TEST(FileCopy, TempFileCommitAndDiscard)
{
    TempDir dir;
    WriteFile(dir / "dest", "old");
    std::string error;
    {
        vex::TvexTempFile temp;
        ASSERT_TRUE(temp.Open(dir / "dest", error)) << error;
        ASSERT_EQ(write(temp.Handle(), "half", 4), 4);
    }  // dropped without Commit
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"dest"});
    EXPECT_EQ(ReadFile(dir / "dest"), "old");
    vex::TvexTempFile temp;
    ASSERT_TRUE(temp.Open(dir / "dest", error)) << error;
    ASSERT_EQ(write(temp.Handle(), "whole", 5), 5);
    ASSERT_TRUE(temp.Commit(error)) << error;
    EXPECT_EQ(ReadFile(dir / "dest"), "whole");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"dest"});
}

TEST(FileOps, RemovingNeverFollowsLinks)
{
    TempDir dir;
    WriteFile(dir / "real/keep.txt", "k");
    ASSERT_EQ(symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    std::string error;
    EXPECT_FALSE(vex::DeleteFileEntry(dir / "real", error));
    EXPECT_EQ(error, "Is a directory");
    ASSERT_TRUE(vex::RemoveFolder(dir / "link", error)) << error;
    EXPECT_FALSE(Exists(dir / "link"));
    EXPECT_EQ(ReadFile(dir / "real/keep.txt"), "k");
    EXPECT_FALSE(vex::RemoveFolder(dir / "real", error));
    EXPECT_EQ(error, "Directory not empty");
    ASSERT_EQ(symlink((dir / "real/keep.txt").c_str(), (dir / "filelink").c_str()), 0);
    ASSERT_TRUE(vex::DeleteFileEntry(dir / "filelink", error)) << error;
    EXPECT_EQ(ReadFile(dir / "real/keep.txt"), "k");
}

TEST(FileOps, DeletesReadOnlyFilesAndEmptyFolders)
{
    TempDir dir;
    WriteFile(dir / "ro", "x");
    chmod((dir / "ro").c_str(), 0444);
    MakeDirs(dir / "empty");
    std::string error;
    EXPECT_TRUE(vex::DeleteFileEntry(dir / "ro", error)) << error;
    EXPECT_TRUE(vex::RemoveFolder(dir / "empty", error)) << error;
    EXPECT_TRUE(Names(dir.path()).empty());
    EXPECT_FALSE(vex::DeleteFileEntry(dir / "ro", error));
    EXPECT_EQ(error, "No such file or directory");
}

TEST(FileOps, MakeFoldersCreatesParentsAndRefusesFilesInTheWay)
{
    TempDir dir;
    std::string error;
    ASSERT_TRUE(vex::MakeFolderTree(dir.path(), dir / "a/b/c", error)) << error;
    EXPECT_TRUE(S_ISDIR(Stat(dir / "a/b/c").st_mode));
    EXPECT_TRUE(vex::MakeFolderTree(dir.path(), dir / "a/b", error)) << "an existing folder is fine";
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(vex::MakeFolderTree(dir.path(), dir / "file", error));
    EXPECT_EQ(error, "File exists");
    EXPECT_FALSE(vex::MakeFolderTree(dir.path(), dir / "file/sub", error));
    EXPECT_EQ(error, "Not a directory");
    WriteFile(dir / "src", "s");
    ASSERT_TRUE(vex::CopyFileSafe(dir.path(), dir / "src", dir / "x/y/z.txt", nullptr, error)) << error;
    EXPECT_TRUE(S_ISDIR(Stat(dir / "x/y").st_mode));
    EXPECT_EQ(ReadFile(dir / "x/y/z.txt"), "s");
}

TEST(FileOps, ReadOnlyAndTimes)
{
    TempDir dir;
    WriteFile(dir / "f", "x");
    chmod((dir / "f").c_str(), 0664);
    std::string error;
    ASSERT_TRUE(vex::SetReadOnly(dir / "f", true, error)) << error;
    EXPECT_EQ(Stat(dir / "f").st_mode & 0777, 0444u);
    ASSERT_TRUE(vex::SetReadOnly(dir / "f", false, error)) << error;
    EXPECT_EQ(Stat(dir / "f").st_mode & 0777, 0644u);
    ASSERT_TRUE(vex::SetLastWriteTime(dir / "f", 1000000006, error)) << error;
    EXPECT_EQ(Stat(dir / "f").st_mtime, 1000000006);
    EXPECT_FALSE(vex::SetReadOnly(dir / "none", true, error));
    EXPECT_EQ(error, "No such file or directory");
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
    std::string error;
    ASSERT_TRUE(vex::CopyFileSafe(src, dir / "copy", nullptr, error)) << error;
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

// Writes reach entries deeper than PATH_MAX: each call names one component.
TEST(FileCopy, WritesBeneathARootReachPathsLongerThanPathMax)
{
    TempDir dir;
    std::string deep = dir.path();
    while (deep.size() < 4500) deep += "/" + std::string(200, 'd');
    WriteFile(dir / "src", "deep");
    std::string error;
    ASSERT_TRUE(vex::MakeFolderTree(dir.path(), deep, error)) << error;
    ASSERT_TRUE(vex::CopyFileSafe(dir.path(), dir / "src", deep + "/f.txt", nullptr, error)) << error;
    ASSERT_TRUE(vex::DeleteFileEntry(dir.path(), deep + "/f.txt", error)) << error;
    for (std::string folder = deep; folder != dir.path(); folder = folder.substr(0, folder.rfind('/')))
        ASSERT_TRUE(vex::RemoveFolder(dir.path(), folder, error)) << error;
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"src"});
}

TEST(FileCopy, TemporaryNamesFollowOnePattern)
{
    TempDir dir;
    std::string error;
    vex::TvexTempFile temp;
    ASSERT_TRUE(temp.Open(dir / "report-2024.txt", error)) << error;
    const std::string name = temp.TempPath().substr(dir.path().size() + 1);
    EXPECT_TRUE(vex::IsTempFileName(name)) << name;
    for (const char* other : {".kn-x-ABCDEF", ".kn-x-abcde", ".kn--abcdef", "kn-x-abcdef", ".kn-x_abcdef"})
        EXPECT_FALSE(vex::IsTempFileName(other)) << other;
}
