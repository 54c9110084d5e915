// Every list of locations shows every registered kind: the program's and its commands' --help,
// and the manual pages and the metainfo as the build made them from their templates.
#include <gtest/gtest.h>

#include "engine/kn_unitSideRegistry.h"
#include "tests/cli/cli_run.h"
#include "tests/common/temp_tree.h"

namespace {

// Roff writes "-" as "\-".
std::string Plain(std::string page)
{
    for (std::size_t at; (at = page.find("\\-")) != std::string::npos;) page.erase(at, 1);
    return page;
}

TEST(Usage, EveryListOfLocationsShowsEveryKind)
{
    const std::string pages = KESTRUNE_PAGES_DIR;
    const struct {
        const char* name;
        std::string text;
        bool forms;  // the forms themselves, or the kinds' titles only
    } lists[] = {
        {"kestrune-cli --help", clitest::RunCli({"--help"}).out, true},
        {"compare --help", clitest::RunCli({"compare", "--help"}).out, true},
        {"update --help", clitest::RunCli({"update", "--help"}).out, true},
        {"kestrune-cli.1", Plain(testutil::ReadFile(pages + "/man/kestrune-cli.1")), true},
        {"kestrune.1", Plain(testutil::ReadFile(pages + "/man/kestrune.1")), true},
        {"metainfo", testutil::ReadFile(pages + "/org.kestrune.Kestrune.metainfo.xml"), false},
    };
    for (const auto& list : lists) {
        EXPECT_EQ(list.text.find("{{"), std::string::npos) << list.name << " keeps a marker";
        for (const kn::TKNSideKind* kind : kn::SideKinds())
            for (const kn::TKNKindUsage& usage : kind->Usage()) {
                if (list.forms) {
                    EXPECT_NE(list.text.find(usage.Form), std::string::npos) << list.name << ": " << usage.Form;
                } else if (!kind->Schemes().empty()) {
                    EXPECT_NE(list.text.find(usage.Title), std::string::npos) << list.name << ": " << usage.Title;
                }
            }
    }
}

}  // namespace
