// A tree as people have them (a UTF-8 name, an empty file, a read-only file, a dot file, times
// in 2001 and 2030, a private folder) copied from a local side to each SFTP server the tests
// know and back: every server keeps names, sizes, times and permission bits, leaves nothing
// else behind, and the copy back equals the original.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "local/kn_unitLocalSide.h"
#include "sftp/kn_unitSftpSide.h"
#include "side/kn_unitSideCopy.h"
#include "side/kn_unitSideRules.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"

namespace {

using Tree = std::map<std::string, kn::TKNSideEntry>;

// Every entry below `folder`, keyed by its relative text.
void Walk(kn::TKNSide& side, const kn::TKNSidePath& folder, Tree& tree)
{
    std::vector<kn::TKNSideEntry> entries;
    const kn::TKNSideResult listed = side.List(folder, entries);
    ASSERT_TRUE(listed) << listed.Message;
    for (const kn::TKNSideEntry& entry : entries) {
        const kn::TKNSidePath path = folder.Child(entry.Name);
        tree[path.Text()] = entry;
        if (entry.IsFolder()) Walk(side, path, tree);
    }
}

// Copies every entry of `from` to `to` with its time and bits (parents first: map order).
void CopyTree(kn::TKNSide& from, const Tree& tree, kn::TKNSide& to)
{
    std::string reason;
    for (const auto& [rel, entry] : tree) {
        kn::TKNSidePath path;
        ASSERT_TRUE(kn::TKNSidePath::FromRelative(rel, path, reason)) << reason;
        kn::TKNSideResult r;
        if (entry.IsFolder()) {
            r = to.MakeFolder(path, static_cast<int>(entry.Mode));
        } else {
            kn::TKNWriteTerms terms;
            terms.Size = entry.Size;
            terms.MTime = entry.MTime;
            terms.Mode = static_cast<int>(kn::ModeForCopy(entry.Mode, false));
            terms.Replaces = kn::ExpectedAbsent();
            r = kn::CopyBetweenSides(from, path, to, path, terms, nullptr);
        }
        ASSERT_TRUE(r) << rel << ": " << r.Message;
    }
}

void ExpectSame(const Tree& a, const Tree& b, const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
        const kn::TKNSideEntry &x = ia->second, &y = ib->second;
        EXPECT_EQ(ia->first, ib->first) << what;
        EXPECT_EQ(x.Kind, y.Kind) << what << " " << ia->first;
        EXPECT_EQ(x.Mode, y.Mode) << what << " " << ia->first;
        if (x.IsFolder()) continue;
        EXPECT_EQ(x.Size, y.Size) << what << " " << ia->first;
        EXPECT_EQ(x.MTime, y.MTime) << what << " " << ia->first;
    }
}

}  // namespace

TEST(SftpConvergence, EveryServerKeepsTheTreeBothWays)
{
    testutil::TempDir original, back;
    testutil::WriteFile(original / "Gr\xC3\xBC\xC3\x9F \xE6\x97\xA5\xE6\x9C\xAC.txt", "utf-8");
    testutil::WriteFile(original / "empty", "");
    testutil::WriteFile(original / "ro.txt", "read only");
    testutil::WriteFile(original / ".hidden", "dot");
    testutil::WriteFile(original / "sub/2001.txt", "old");
    testutil::WriteFile(original / "sub/2030.bin", std::string(3 << 20, 'b'));
    testutil::WriteFile(original / "private/key", "k");
    ::chmod((original / "ro.txt").c_str(), 0444);
    ::chmod((original / "private").c_str(), 0700);
    testutil::SetMTime(original / "sub/2001.txt", 978307200);
    testutil::SetMTime(original / "sub/2030.bin", 1893456000);
    auto source = kn::OpenLocalSide(original.path(), {});
    ASSERT_TRUE(source->Connect());
    Tree tree;
    Walk(*source, {}, tree);
    ASSERT_EQ(tree.size(), 9u);

    const std::string servers[] = {
        "", "/usr/libexec/gesftpserver",
        testutil::SshServer::WrappedServer("--cap-read 32768 --hide posix-rename@openssh.com")};
    for (const std::string& subsystem : servers) {
        testutil::SshServer::Options options;
        options.Subsystem = subsystem;
        testutil::SshServer server(options);
        server.TrustHost();
        testutil::TempDir served, fetched;
        auto remote = kn::OpenSftpSide(server.Location(served.path()), {});
        ASSERT_TRUE(remote->Connect());
        CopyTree(*source, tree, *remote);
        Tree there;
        Walk(*remote, {}, there);
        ExpectSame(tree, there, "up to " + subsystem);
        auto down = kn::OpenLocalSide(fetched.path(), {});
        ASSERT_TRUE(down->Connect());
        CopyTree(*remote, there, *down);
        Tree again;
        Walk(*down, {}, again);
        ExpectSame(tree, again, "back from " + subsystem);
        EXPECT_EQ(testutil::ReadFile(fetched / "sub/2030.bin"), std::string(3 << 20, 'b'));
    }
}
