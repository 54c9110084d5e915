// The conformance suite of the side interface: one table of behaviours (names, links, atomic
// replace, stop, modes, times, temporaries, failed listings, concurrent writers) that every kind
// of side runs against a real server on loopback. Every kind serves a folder of the local disk
// (a local side is that folder; pyftpdlib, vsftpd and sshd serve it), so a test prepares and
// inspects the tree with plain file operations and drives the side only through TKNSide.
//
// A kind joins the suite with one file that defines its TKindFixture and instantiates the
// suite with it (see side_kind_local.cpp):
//   INSTANTIATE_TEST_SUITE_P(Local, SideConformance, testing::Values(MakeKind<LocalKind>()), KindName);
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "side/kn_unitSide.h"
#include "tests/common/temp_tree.h"

namespace sidetest {

// One kind of side under test, with its server (when it has one) alive as long as the object.
class TKindFixture {
public:
    virtual ~TKindFixture() = default;
    // Empty when the kind can run here; otherwise why not (the tests then skip).
    virtual std::string Unavailable() { return {}; }
    // A side whose root is the local folder `served` (which the kind's server serves).
    virtual std::unique_ptr<kn::TKNSide> Open(const std::string& served, const kn::TKNSideContext& context) = 0;
    // Separators the kind's names may not hold besides "/" (what TKNSideCaps promises).
    virtual std::string Forbidden() const { return {}; }
    // True when the kind's server shows a link as a link (Stat sets Link) and so can refuse
    // with kind Link; false where the server itself resolves links and refuses what leads out.
    virtual bool ShowsLinks() const { return true; }
    // True when the side's root is its server's top folder (where no connection is kept).
    virtual bool RootIsServersTop() const { return false; }
    // False where times live beside the files (a server's properties or the program's record),
    // so the file system's own time of a file is not the one set.
    virtual bool TimesOnDisk() const { return true; }
    // True for a name the kind's server keeps for itself in the served folder.
    virtual bool OwnName(const std::string&) const { return false; }
};

// `side` with `give` run before every call: a server whose login owns its files gets the files
// the test made meanwhile.
std::unique_ptr<kn::TKNSide> GivenBeforeEachCall(std::unique_ptr<kn::TKNSide> side, std::function<void()> give);

struct TKind {
    std::string Name;  // a test name part: letters, digits and "_" only
    std::function<std::unique_ptr<TKindFixture>()> Make;
};

template <class Fixture>
TKind MakeKind(std::string name)
{
    return {std::move(name), [] { return std::unique_ptr<TKindFixture>(std::make_unique<Fixture>()); }};
}

// Test names and failures name the kind, not the bytes of its parameter.
inline void PrintTo(const TKind& kind, std::ostream* out)
{
    *out << kind.Name;
}

inline std::string KindName(const testing::TestParamInfo<TKind>& info)
{
    return info.param.Name;
}

// Each test gets a fresh served folder and a connected side on it. The kind's fixture (and so
// its server) is made once per kind and kept for the whole run.
class SideConformance : public testing::TestWithParam<TKind> {
protected:
    void SetUp() override;
    void TearDown() override;

    // The served folder's local path of a relative path ("" for the folder itself).
    std::string Local(const std::string& rel = "") const;
    // A side path from a relative text; fails the test on a bad name.
    static kn::TKNSidePath P(const std::string& rel);
    // A second side on the same folder, e.g. for a concurrent writer.
    std::unique_ptr<kn::TKNSide> OpenAnother();
    // The names a local folder holds, read without the side, but for the server's own.
    std::set<std::string> NamesIn(const std::string& folder) const;

    TKindFixture* kind_ = nullptr;
    std::unique_ptr<testutil::TempDir> outside_;  // a folder beside the served one, for links out
    std::unique_ptr<testutil::TempDir> served_;
    std::atomic<bool> stop_{false};
    kn::TKNSideContext context_;
    std::unique_ptr<kn::TKNSide> side_;
};

}  // namespace sidetest
