#include "tests/side/side_conformance.h"

#include <dirent.h>
#include <sys/stat.h>

#include <map>

namespace sidetest {

namespace {

// One fixture per kind for the whole run: starting a server for every test would cost seconds.
TKindFixture& FixtureOf(const TKind& kind)
{
    static std::map<std::string, std::unique_ptr<TKindFixture>> fixtures;
    auto& slot = fixtures[kind.Name];
    if (!slot) slot = kind.Make();
    return *slot;
}

}  // namespace

void SideConformance::SetUp()
{
    kind_ = &FixtureOf(GetParam());
    if (std::string why = kind_->Unavailable(); !why.empty()) GTEST_SKIP() << why;
    served_ = std::make_unique<testutil::TempDir>();
    outside_ = std::make_unique<testutil::TempDir>();
    chmod(outside_->path().c_str(), 0755);  // a server's user sees where links lead, and may not write there
    context_.Stop = &stop_;
    side_ = kind_->Open(served_->path(), context_);
    ASSERT_TRUE(side_);
    kn::TKNSideResult connected = side_->Connect();
    ASSERT_TRUE(connected) << connected.Message;
}

void SideConformance::TearDown()
{
    side_.reset();
}

std::string SideConformance::Local(const std::string& rel) const
{
    return rel.empty() ? served_->path() : served_->path() + "/" + rel;
}

kn::TKNSidePath SideConformance::P(const std::string& rel)
{
    kn::TKNSidePath path;
    std::string reason;
    EXPECT_TRUE(kn::TKNSidePath::FromRelative(rel, path, reason)) << reason;
    return path;
}

std::unique_ptr<kn::TKNSide> SideConformance::OpenAnother()
{
    auto side = kind_->Open(served_->path(), context_);
    if (side) {
        kn::TKNSideResult connected = side->Connect();
        EXPECT_TRUE(connected) << connected.Message;
    }
    return side;
}

std::set<std::string> SideConformance::NamesIn(const std::string& folder) const
{
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* d = readdir(dir)) {
            const std::string name = d->d_name;
            if (name != "." && name != ".." && !kind_->OwnName(name)) names.insert(name);
        }
        closedir(dir);
    }
    return names;
}

namespace {

class TGiven : public kn::TKNSide {
public:
    TGiven(std::unique_ptr<kn::TKNSide> side, std::function<void()> give) : side_(std::move(side)), give_(give) {}
    const kn::TKNSideCaps& Caps() const override { return side_->Caps(); }
    std::string Shown(const kn::TKNSidePath& p) const override { return side_->Shown(p); }
    kn::TKNSideResult Connect() override { return give_(), side_->Connect(); }
    kn::TKNSideResult List(const kn::TKNSidePath& p, std::vector<kn::TKNSideEntry>& e) override
    {
        return give_(), side_->List(p, e);
    }
    void ListFolders(const std::vector<kn::TKNSidePath>& f, std::vector<kn::TKNListing>& l) override
    {
        give_();
        side_->ListFolders(f, l);
    }
    kn::TKNSideResult Stat(const kn::TKNSidePath& p, kn::TKNSideEntry& e) override
    {
        return give_(), side_->Stat(p, e);
    }
    kn::TKNSideResult OpenRead(const kn::TKNSidePath& p, std::unique_ptr<kn::TKNReadStream>& s) override
    {
        return give_(), side_->OpenRead(p, s);
    }
    kn::TKNSideResult OpenWrite(const kn::TKNSidePath& p, const kn::TKNWriteTerms& w,
                                std::unique_ptr<kn::TKNWriteStream>& s) override
    {
        return give_(), side_->OpenWrite(p, w, s);
    }
    kn::TKNSideResult MakeFolder(const kn::TKNSidePath& p, int m) override { return give_(), side_->MakeFolder(p, m); }
    kn::TKNSideResult RemoveFolder(const kn::TKNSidePath& p) override { return give_(), side_->RemoveFolder(p); }
    kn::TKNSideResult RemoveFile(const kn::TKNSidePath& p, const kn::TKNExpected& e) override
    {
        return give_(), side_->RemoveFile(p, e);
    }
    kn::TKNSideResult SetTime(const kn::TKNSidePath& p, int64_t t, int32_t n) override
    {
        return give_(), side_->SetTime(p, t, n);
    }
    kn::TKNSideResult SetMode(const kn::TKNSidePath& p, uint32_t m) override { return give_(), side_->SetMode(p, m); }
    kn::TKNSideResult Rename(const kn::TKNSidePath& f, const kn::TKNSidePath& t) override
    {
        return give_(), side_->Rename(f, t);
    }

private:
    std::unique_ptr<kn::TKNSide> side_;
    std::function<void()> give_;
};

}  // namespace

std::unique_ptr<kn::TKNSide> GivenBeforeEachCall(std::unique_ptr<kn::TKNSide> side, std::function<void()> give)
{
    return std::make_unique<TGiven>(std::move(side), std::move(give));
}

}  // namespace sidetest
