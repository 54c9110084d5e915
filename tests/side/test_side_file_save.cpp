// A file fetched whole and saved back through its side, against every kind: the edited text
// goes back in the file's own encoding and line ends with its permission bits; a file changed
// since it was fetched, or a link put at its path, is not replaced unless confirmed, and a link
// never is.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "diff/kn_unitTextEncoding.h"
#include "engine/kn_unitSideFile.h"
#include "side/kn_unitSideRules.h"
#include "tests/side/side_conformance.h"

namespace sidetest {
namespace {

using kn::TKNSaveAgainst;
using kn::TKNSideError;

std::string Utf16Le(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

// What happens to the file on the server between fetching and saving.
enum class TMeanwhile { Nothing, Rewritten, MadeALink };

struct SaveCase {
    const char* Name;
    std::string Before;  // the file as fetched
    TMeanwhile Meanwhile;
    TKNSaveAgainst Against;
    TKNSideError Kind;  // None: saved
    std::string After;  // the file's bytes afterwards (a link: its target's)
};

const std::string kTheirs = "changed on the server\n";
const std::string kTarget = "the link's target\n";

const SaveCase kCases[] = {
    {"utf8 without a final break", "one\ntwo", TMeanwhile::Nothing, TKNSaveAgainst::Fetched, TKNSideError::None,
     "one\n2"},
    {"utf16 with a mark and CR LF", Utf16Le("one\r\ntwo\r\n"), TMeanwhile::Nothing, TKNSaveAgainst::Fetched,
     TKNSideError::None, Utf16Le("one\r\n2\r\n")},
    {"utf8 with a mark and CR", "\xEF\xBB\xBFone\rtwo\r", TMeanwhile::Nothing, TKNSaveAgainst::Fetched,
     TKNSideError::None, "\xEF\xBB\xBFone\r2\r"},
    {"changed since fetched", "one\ntwo\n", TMeanwhile::Rewritten, TKNSaveAgainst::Fetched, TKNSideError::Changed,
     kTheirs},
    {"changed, saved anyway", "one\ntwo\n", TMeanwhile::Rewritten, TKNSaveAgainst::Current, TKNSideError::None,
     "one\n2\n"},
    {"a link since fetched", "one\ntwo\n", TMeanwhile::MadeALink, TKNSaveAgainst::Fetched, TKNSideError::Link, kTarget},
    {"a link, saved anyway", "one\ntwo\n", TMeanwhile::MadeALink, TKNSaveAgainst::Current, TKNSideError::Link, kTarget},
};

std::size_t OwnTempCount(const std::string& folder)
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += kn::IsOwnTempName(entry.path().filename().string()) ? 1 : 0;
    return count;
}

TEST_P(SideConformance, AFetchedTextIsSavedBackOnlyOverWhatWasFetched)
{
    const std::string target = outside_->path() + "/target.txt";
    for (const SaveCase& c : kCases) {
        SCOPED_TRACE(c.Name);
        testutil::WriteFile(Local("f.txt"), c.Before);
        ::chmod(Local("f.txt").c_str(), 0640);
        testutil::WriteFile(target, kTarget);
        kn::TKNSideFile file{"", P("f.txt"), {}};
        std::string bytes;
        ASSERT_TRUE(kn::FetchSideFile(*side_, file, 1 << 20, bytes));
        ASSERT_EQ(bytes, c.Before);

        // The edit as the window makes it: decoded, changed, encoded in the file's own format.
        kn::TTextFormat format = *kn::DetectTextFormat(bytes);
        std::string text, encoded, reason;
        ASSERT_TRUE(kn::DecodeText(bytes, format, text));
        text.replace(text.find("two"), 3, "2");
        ASSERT_TRUE(kn::EncodeText(text, format, encoded, reason)) << reason;

        if (c.Meanwhile == TMeanwhile::Rewritten) testutil::WriteFile(Local("f.txt"), kTheirs);
        if (c.Meanwhile == TMeanwhile::MadeALink) {
            ::unlink(Local("f.txt").c_str());
            ASSERT_EQ(::symlink(target.c_str(), Local("f.txt").c_str()), 0);
        }
        const kn::TKNSideResult saved = kn::SaveSideFile(*side_, file, encoded, c.Against);
        if (c.Kind == TKNSideError::None) {
            ASSERT_TRUE(saved) << saved.Message;
            // The entry now is the new file: a second save replaces it without a question.
            EXPECT_TRUE(kn::SaveSideFile(*side_, file, encoded, TKNSaveAgainst::Fetched));
        } else if (c.Kind != TKNSideError::Link) {
            EXPECT_EQ(saved.Kind, c.Kind) << saved.Message;
        } else if (kind_->ShowsLinks()) {
            // A server that resolves links itself sees no link here; its target is kept all the same.
            EXPECT_EQ(saved.Kind, c.Kind) << saved.Message;
            struct stat st {};
            EXPECT_TRUE(::lstat(Local("f.txt").c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link stays";
        }
        if (c.Kind != TKNSideError::Link || kind_->ShowsLinks()) {
            EXPECT_EQ(testutil::ReadFile(Local("f.txt")), c.After);
        }
        EXPECT_EQ(testutil::ReadFile(target), kTarget);
        struct stat st {};
        if (saved && side_->Caps().SetMode && ::stat(Local("f.txt").c_str(), &st) == 0) {
            EXPECT_EQ(st.st_mode & 07777, 0640u) << "the file keeps its permission bits";
        }
        EXPECT_EQ(OwnTempCount(Local()), 0u) << "no temporary file is left";
        ::unlink(Local("f.txt").c_str());
    }
}

// A link at the path when it is fetched is read (reading changes nothing), or refused where the
// server cannot tell where it leads; a save never writes through it, and is refused wherever the
// server shows the link.
TEST_P(SideConformance, AFileFetchedThroughALinkIsNeverWrittenThrough)
{
    const std::string target = Local("target.txt");
    testutil::WriteFile(target, kTarget);
    // Relative, so that it leads to the same file on a server that serves the folder as its root.
    ASSERT_EQ(::symlink("target.txt", Local("link.txt").c_str()), 0);
    kn::TKNSideFile file{"", P("link.txt"), {}};
    std::string bytes;
    const kn::TKNSideResult fetched = kn::FetchSideFile(*side_, file, 1 << 20, bytes);
    if (!fetched) {
        // A server whose listing cannot tell where a link leads may refuse to read through it;
        // one that hides links refuses by its own rule, or shows nothing there.
        const bool hidden = fetched.Kind == TKNSideError::Denied || fetched.Kind == TKNSideError::NotFound;
        EXPECT_TRUE(fetched.Kind == TKNSideError::Link || (!kind_->ShowsLinks() && hidden)) << fetched.Message;
        EXPECT_EQ(testutil::ReadFile(target), kTarget);
        return;
    }
    EXPECT_EQ(bytes, kTarget);
    if (kind_->ShowsLinks()) {
        EXPECT_TRUE(file.Entry.Link);
    }
    for (TKNSaveAgainst against : {TKNSaveAgainst::Fetched, TKNSaveAgainst::Current}) {
        const kn::TKNSideResult saved = kn::SaveSideFile(*side_, file, "written\n", against);
        if (file.Entry.Link) {
            EXPECT_EQ(saved.Kind, TKNSideError::Link) << saved.Message;
        }
    }
    EXPECT_EQ(testutil::ReadFile(target), kTarget);
}

}  // namespace
}  // namespace sidetest
