// Several folders listed through one call, against every kind: each listing is what List gives
// for that folder alone (its entries, or its failure), in the order asked, whatever fails
// beside it.
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/side/side_conformance.h"

namespace sidetest {
namespace {

std::string ListingText(const kn::TKNSideResult& result, std::vector<kn::TKNSideEntry> entries)
{
    if (!result) return std::string("failed: ") + kn::SideErrorWord(result.Kind);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    std::string text;
    for (const kn::TKNSideEntry& entry : entries)
        text += entry.Name + (entry.IsFolder() ? "/" : " " + std::to_string(entry.Size)) + ";";
    return text;
}

TEST_P(SideConformance, SeveralFoldersListedAtOnceAreEachTheirOwnListing)
{
    testutil::WriteFile(Local("a/one"), "1");
    testutil::WriteFile(Local("a/b/two"), "22");
    testutil::WriteFile(Local("c/three"), "333");
    testutil::WriteFile(Local("file"), "x");
    ASSERT_EQ(symlink(Local("a").c_str(), Local("alink").c_str()), 0);
    // More names than a server gives at one read (about a hundred).
    const std::size_t many = 350;
    for (std::size_t i = 0; i < many; ++i) testutil::WriteFile(Local("many/f" + std::to_string(i)), "");
    const std::vector<std::string> folders = {"a", "missing", "a/b", "file", "", "c", "a", "alink", "alink/b", "many"};
    std::vector<kn::TKNSidePath> paths;
    for (const std::string& rel : folders) paths.push_back(P(rel));
    std::vector<kn::TKNListing> listings;
    side_->ListFolders(paths, listings);
    ASSERT_EQ(listings.size(), folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i) {
        std::vector<kn::TKNSideEntry> alone;
        const kn::TKNSideResult listed = side_->List(paths[i], alone);
        EXPECT_EQ(ListingText(listings[i].Result, listings[i].Entries), ListingText(listed, alone)) << folders[i];
    }
    EXPECT_EQ(ListingText(listings[2].Result, listings[2].Entries), "two 2;");
    EXPECT_EQ(ListingText(listings[4].Result, listings[4].Entries).rfind("a/;", 0), 0u);
    EXPECT_NE(ListingText(listings[4].Result, listings[4].Entries).find(";c/;file 1;"), std::string::npos);
    EXPECT_EQ(listings[9].Entries.size(), many);
    EXPECT_FALSE(listings[1].Result);
    EXPECT_FALSE(listings[3].Result);
}

}  // namespace
}  // namespace sidetest
