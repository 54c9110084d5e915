// What the local kind keeps beyond the shared table: copies between two local sides keep holes
// and `user.*` extended attributes and check the size that arrived, special files are never opened for reading, and
// only an absolute folder is a root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "local/kn_unitLocalSide.h"
#include "side/kn_unitSideCopy.h"
#include "side/kn_unitSideRules.h"
#include "tests/common/temp_tree.h"

namespace kn {
namespace {

constexpr int64_t kMiB = 1 << 20;

std::unique_ptr<TKNSide> Connected(const std::string& root, const TKNSideContext& context)
{
    auto side = OpenLocalSide(root, context);
    const TKNSideResult r = side->Connect();
    EXPECT_TRUE(r) << r.Message;
    return side;
}

TKNSidePath Name(const std::string& name)
{
    return TKNSidePath().Child(name);
}

std::string Attribute(const std::string& path, const char* name)
{
    std::string value(64 * 1024, '\0');
    const ssize_t n = getxattr(path.c_str(), name, value.data(), value.size());
    value.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return value;
}

TEST(LocalSide, CopiesKeepHolesAndUserAttributesAndTellARefusalOnce)
{
    testutil::TempDir from, to;
    std::vector<std::string> notices;
    TKNSideContext context;
    context.Notice = [&](const std::string& text) { notices.push_back(text); };
    const std::string sparse = from / "sparse.bin";
    testutil::WriteFile(sparse, std::string(kMiB, 'a'));
    ASSERT_EQ(truncate(sparse.c_str(), 10 * kMiB), 0);
    ASSERT_EQ(setxattr(sparse.c_str(), "user.note", "kept", 4, 0), 0);
    auto source = Connected(from.path(), context);
    auto dest = Connected(to.path(), context);
    TKNWriteTerms terms;
    terms.Size = 10 * kMiB;
    ASSERT_TRUE(CopyBetweenSides(*source, Name("sparse.bin"), *dest, Name("sparse.bin"), terms, nullptr));
    struct stat st {};
    ASSERT_EQ(stat((to / "sparse.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 10 * kMiB);
    EXPECT_LT(st.st_blocks * 512, 4 * kMiB);
    EXPECT_TRUE(testutil::ReadFile(to / "sparse.bin") == testutil::ReadFile(sparse));
    EXPECT_EQ(Attribute(to / "sparse.bin", "user.note"), "kept");
    EXPECT_TRUE(notices.empty());

    // An attribute larger than the target's file system holds (tmpfs holds it, ext4 does not).
    const std::string big = "/dev/shm/kn-side-" + std::to_string(getpid());
    testutil::WriteFile(big + "/a", "a");
    testutil::WriteFile(big + "/b", "b");
    const std::string value(32 * 1024, 'v');
    for (const char* name : {"/a", "/b"})
        if (setxattr((big + name).c_str(), "user.big", value.data(), value.size(), 0) != 0) {
            testutil::RemoveTree(big);
            GTEST_SKIP() << "no file system here holds a large attribute";
        }
    auto large = Connected(big, context);
    for (const char* name : {"a", "b"})
        EXPECT_TRUE(CopyBetweenSides(*large, Name(name), *dest, Name(name), {}, nullptr)) << name;
    testutil::RemoveTree(big);
    EXPECT_EQ(testutil::ReadFile(to / "b"), "b");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("extended attributes"), std::string::npos) << notices[0];
}

// The kernel copy counts what arrived (or, where it kept holes, asks the file): a source whose
// size is no longer the compared one never replaces the destination.
TEST(LocalSide, KernelCopiesReplaceOnlyWithTheComparedSize)
{
    testutil::TempDir from, to;
    testutil::WriteFile(from / "dense.bin", std::string(3 * 4096 + 5, 'd'));
    testutil::WriteFile(from / "sparse.bin", std::string(4096, 's'));
    ASSERT_EQ(truncate((from / "sparse.bin").c_str(), 4 * kMiB), 0);
    auto source = Connected(from.path(), {});
    auto dest = Connected(to.path(), {});
    for (const char* name : {"dense.bin", "sparse.bin"})
        for (const int64_t off : {0, -1, 1}) {
            testutil::WriteFile(to / name, "old");
            TKNSideEntry listed, old;
            ASSERT_TRUE(source->Stat(Name(name), listed));
            ASSERT_TRUE(dest->Stat(Name(name), old));
            TKNWriteTerms terms;
            terms.Size = listed.Size + off;
            terms.Replaces = ExpectedOf(old);
            const TKNSideResult r = CopyBetweenSides(*source, Name(name), *dest, Name(name), terms, nullptr);
            EXPECT_EQ(static_cast<bool>(r), off == 0) << name << " " << off << ": " << r.Message;
            EXPECT_EQ(testutil::ReadFile(to / name) == testutil::ReadFile(from / name), off == 0) << name << " " << off;
            const auto entries = std::distance(std::filesystem::directory_iterator(to.path()), {});
            EXPECT_EQ(entries, name[0] == 'd' ? 1 : 2) << "no temporary is left: " << name << " " << off;
        }
}

TEST(LocalSide, SpecialFilesAreNeverOpenedForReading)
{
    testutil::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir / "zero").c_str()), 0);
    testutil::MakeDirs(dir / "folder");
    auto side = Connected(dir.path(), {});
    for (const char* name : {"fifo", "zero", "folder", "missing"}) {
        std::unique_ptr<TKNReadStream> stream;
        EXPECT_FALSE(side->OpenRead(Name(name), stream)) << name;
        EXPECT_FALSE(stream) << name;
    }
}

// The folders on the way stay open from one entry to the next: a folder the side renames or
// removes is walked anew afterwards, and one that another program swaps for a link is either
// refused (walked anew) or stays the folder that was checked (held), never followed.
TEST(LocalSide, HeldFoldersFollowRenamesAndRemovalsAndNeverALink)
{
    testutil::TempDir dir, outside;
    auto side = Connected(dir.path(), {});
    auto path = [](const std::string& text) {
        TKNSidePath p;
        std::string reason;
        EXPECT_TRUE(TKNSidePath::FromRelative(text, p, reason)) << reason;
        return p;
    };
    auto put = [&](const std::string& text) {
        std::unique_ptr<TKNWriteStream> stream;
        TKNSideResult r = side->OpenWrite(path(text), {}, stream);
        if (r) r = stream->Write(text.data(), text.size());
        if (r) r = stream->Commit();
        return r;
    };
    for (const char* folder : {"a", "a/b"}) ASSERT_TRUE(side->MakeFolder(path(folder), 0700));
    EXPECT_TRUE(put("a/b/one"));
    ASSERT_TRUE(side->Rename(path("a/b"), path("a/c")));
    EXPECT_EQ(put("a/b/two").Kind, TKNSideError::NotFound);
    ASSERT_TRUE(side->MakeFolder(path("a/b"), 0700));
    EXPECT_TRUE(put("a/b/two"));
    ASSERT_TRUE(side->RemoveFile(path("a/b/two"), {}));
    ASSERT_TRUE(side->RemoveFolder(path("a/b")));
    ASSERT_TRUE(side->MakeFolder(path("a/b"), 0700));
    EXPECT_TRUE(put("a/b/three"));
    EXPECT_TRUE(put("a/c/four"));
    const std::pair<const char*, const char*> placed[] = {
        {"a/c/one", "a/b/one"}, {"a/b/three", "a/b/three"}, {"a/c/four", "a/c/four"}};
    for (const auto& [file, content] : placed) EXPECT_EQ(testutil::ReadFile(dir / file), content) << file;
    EXPECT_FALSE(testutil::Exists(dir / "a/b/one"));
    EXPECT_FALSE(testutil::Exists(dir / "a/b/two"));
    // Swapped while held (the last write went through a/c), then while not held.
    ASSERT_EQ(rename((dir / "a/c").c_str(), (dir / "a/away").c_str()), 0);
    ASSERT_EQ(symlink(outside.path().c_str(), (dir / "a/c").c_str()), 0);
    EXPECT_TRUE(put("a/c/five"));
    EXPECT_TRUE(testutil::Exists(dir / "a/away/five"));
    EXPECT_TRUE(put("a/b/six"));
    EXPECT_EQ(put("a/c/seven").Kind, TKNSideError::Link);
    EXPECT_FALSE(testutil::Exists(outside / "five"));
    EXPECT_FALSE(testutil::Exists(outside / "seven"));
}

TEST(LocalSide, OnlyAnAbsoluteFolderIsARoot)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "file", "x");
    for (const std::string& root : {std::string(), std::string("relative/dir"), std::string("/"), std::string("//"),
                                    dir / "file", dir / "missing"})
        EXPECT_FALSE(OpenLocalSide(root, {})->Connect()) << root;
    EXPECT_EQ(OpenLocalSide(dir / "missing", {})->Connect().Message,
              "The folder \"" + dir.path() + "/missing\" does not exist.");
    EXPECT_TRUE(OpenLocalSide(dir.path() + "/", {})->Connect());
}

}  // namespace
}  // namespace kn
