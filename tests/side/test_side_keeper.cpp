// Connections kept between sides, against every kind: a side gone leaves its connection to the
// next side of its location, which checks it before use, so a root removed meanwhile fails as
// on a new login. A local side keeps nothing, nor does a side whose root is its server's top
// (a confined login would still find it there) or whose run stopped.
#include <filesystem>

#include "side/kn_unitSideKeeper.h"
#include "tests/side/side_conformance.h"

namespace sidetest {
namespace {

TEST_P(SideConformance, ASideGoneLeavesItsConnectionToTheNextSideOfItsLocation)
{
    const std::size_t kept = side_->Caps().Remote && !kind_->RootIsServersTop() ? 1 : 0;
    kn::DropKeptLinks();
    side_.reset();
    ASSERT_EQ(kn::KeptLinks(), kept);
    testutil::WriteFile(Local("a.txt"), "one");
    side_ = OpenAnother();
    ASSERT_TRUE(side_);
    EXPECT_EQ(kn::KeptLinks(), 0u);
    std::vector<kn::TKNSideEntry> entries;
    ASSERT_TRUE(side_->List({}, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "a.txt");

    side_.reset();
    ASSERT_EQ(kn::KeptLinks(), kept);
    std::filesystem::remove_all(Local());
    side_ = kind_->Open(Local(), context_);
    EXPECT_FALSE(side_->Connect());

    std::filesystem::create_directories(Local());
    side_ = OpenAnother();
    ASSERT_TRUE(side_);
    kn::DropKeptLinks();
    stop_ = true;
    side_.reset();
    EXPECT_EQ(kn::KeptLinks(), 0u);
    stop_ = false;
}

}  // namespace
}  // namespace sidetest
