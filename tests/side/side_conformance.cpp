#include "tests/side/side_conformance.h"

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

}  // namespace sidetest
