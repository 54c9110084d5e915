#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitPathBeneath.h"
#include "tests/common/temp_tree.h"

using namespace vex;

TEST(FileSystem, AttributeBits)
{
    struct Case {
        const char* name;
        mode_t mode;
        const char* entry;
        uint32_t attr;
    } cases[] = {
        {"regular file", S_IFREG | 0644, "a.txt", kAttrArchive},
        {"read-only file", S_IFREG | 0444, "a.txt", kAttrArchive | kAttrReadOnly},
        {"hidden file", S_IFREG | 0600, ".profile", kAttrArchive | kAttrHidden},
        {"folder", S_IFDIR | 0755, "d", kAttrFolder},
        {"hidden read-only folder", S_IFDIR | 0555, ".git", kAttrFolder | kAttrHidden | kAttrReadOnly},
        {"fifo", S_IFIFO | 0600, "p", kAttrSystem},
        {"socket", S_IFSOCK | 0600, "s", kAttrSystem},
        {"device", S_IFCHR | 0666, "null", kAttrSystem},
        {"dot entries are not hidden", S_IFDIR | 0755, "..", kAttrFolder},
    };
    for (const auto& c : cases) {
        struct stat st {};
        st.st_mode = c.mode;
        EXPECT_EQ(AttributesOf(st, c.entry), c.attr) << c.name;
    }
}

TEST(FileSystem, ListingSkipsDotsAndDanglingLinksAndFollowsOthers)
{
    testutil::TempDir t;
    testutil::WriteFile(t / "f", "12345");
    testutil::MakeDirs(t / "d");
    ASSERT_EQ(symlink("f", (t / "lf").c_str()), 0);
    ASSERT_EQ(symlink("d", (t / "ld").c_str()), 0);
    ASSERT_EQ(symlink("none", (t / "dangling").c_str()), 0);
    TDirLister lister;
    ASSERT_TRUE(lister.Open(t.path()));
    std::map<std::string, TDirEntry> seen;
    TDirEntry e;
    while (lister.Next(e)) seen[std::string(e.Name)] = e;
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen["f"].Size, 5);
    EXPECT_FALSE(seen["f"].Link);
    EXPECT_EQ(seen["lf"].Size, 5);
    EXPECT_TRUE(seen["lf"].Link);
    EXPECT_EQ(seen["ld"].Attr & kAttrFolder, kAttrFolder);
    EXPECT_TRUE(seen["ld"].Link);
    EXPECT_FALSE(lister.Next(e));
    EXPECT_FALSE(lister.Open(t / "f"));
    EXPECT_FALSE(lister.Open(t / "missing"));
}

TEST(FileSystem, KindsAndLinks)
{
    testutil::TempDir t;
    testutil::WriteFile(t / "f", "1");
    ASSERT_EQ(symlink(t.path().c_str(), (t / "l").c_str()), 0);
    EXPECT_EQ(KindOf(t.path()), TFileKind::Folder);
    EXPECT_EQ(KindOf(t / "f"), TFileKind::File);
    EXPECT_EQ(KindOf(t / "l"), TFileKind::Folder);
    EXPECT_EQ(KindOf(t / "none"), TFileKind::None);
    EXPECT_EQ(KindOf(""), TFileKind::None);
    EXPECT_EQ(KindOf("/dev/null"), TFileKind::Other);
    EXPECT_TRUE(IsSymLink(t / "l"));
    EXPECT_FALSE(IsSymLink(t / "f"));
    EXPECT_EQ(ErrorText(ENOENT), "No such file or directory");
}

// The folder of an entry is opened only beneath the root, one name at a time and never through
// a link, whether the entry is given as a path or as its names.
TEST(FileSystem, ParentFolderStaysBeneathTheRoot)
{
    testutil::TempDir t, outside;
    testutil::MakeDirs(t / "root/a");
    ASSERT_EQ(symlink(outside.path().c_str(), (t / "root/link").c_str()), 0);
    const std::string root = t / "root";
    const struct {
        std::vector<std::string> names;
        int err;         // of OpenNames; 0: opened
        bool pathOpens;  // Open of the names joined by "/" ("//" is one separator, no name the root)
    } rows[] = {
        {{"a", "x"}, 0, true},
        {{"x"}, 0, true},
        {{"a", "..", "x"}, EINVAL, false},
        {{"..", "x"}, EINVAL, false},
        {{"a/..", "x"}, EINVAL, false},
        {{"", "x"}, EINVAL, true},
        {{"a", "."}, EINVAL, false},
        {{}, EINVAL, true},
        {{"link", "x"}, ELOOP, false},
    };
    for (const auto& row : rows) {
        TvexParentFolder parent;
        std::string error, path = root;
        for (const std::string& name : row.names) path += "/" + name;
        EXPECT_EQ(parent.OpenNames(root, row.names, false, error), row.err == 0) << path;
        EXPECT_EQ(parent.Errno(), row.err) << path << ": " << error;
        if (row.err == 0) {
            EXPECT_EQ(parent.Name(), row.names.back()) << path;
        }
        EXPECT_EQ(parent.Open(root, path, false, error), row.pathOpens) << path;
    }
}

// A listing that ends early must say so: an entry whose status cannot be read (a folder that
// may be read but not searched) is a failure, not the end of the folder.
TEST(FileSystem, ListingThatFailsPartWaySaysWhy)
{
    testutil::TempDir t;
    testutil::WriteFile(t / "d/a", "1");
    testutil::WriteFile(t / "d/b", "1");
    chmod(t.path().c_str(), 0755);
    testutil::GiveToUnprivileged(t.path());
    chmod((t / "d").c_str(), 0444);
    const int result = testutil::RunUnprivileged([&] {
        TDirLister lister;
        if (!lister.Open(t / "d")) return 1;
        TDirEntry e;
        if (lister.Next(e)) return 2;
        if (lister.Error() != EACCES) return 3;
        TDirLister complete;
        if (!complete.Open(t.path()) || !complete.Next(e) || complete.Next(e) || complete.Error() != 0) return 4;
        if (complete.Open(t / "missing") || complete.Error() != ENOENT) return 5;
        return 0;
    });
    chmod((t / "d").c_str(), 0755);
    EXPECT_EQ(result, 0) << "99: cannot give up root";
}
