// Line files replaced whole: the new text in place, the old one kept when writing fails, and no
// new name left behind either way.
#include <gtest/gtest.h>

#include <filesystem>

#include "framework/vex_unitLineFile.h"
#include "tests/common/temp_tree.h"

TEST(LineFile, ReplacedWholeOrNotAtAll)
{
    testutil::TempDir dir;
    const std::string file = dir.path() + "/known";
    std::string error;
    ASSERT_TRUE(vex::ReplaceFileText(file, "a 1\nb 2\n", error)) << error;
    ASSERT_TRUE(vex::ReplaceFileText(file, "b 3\n", error)) << error;
    EXPECT_EQ(vex::ReadLines(file), std::vector<std::string>{"b 3"});
    // A file that cannot be made (its folder is a file) fails and leaves the other as it was.
    EXPECT_FALSE(vex::ReplaceFileText(file + "/inner", "x\n", error));
    EXPECT_NE(error.find("Cannot write"), std::string::npos) << error;
    EXPECT_EQ(vex::ReadLines(file), std::vector<std::string>{"b 3"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no new name is left";
    EXPECT_TRUE(vex::ReadLines(dir.path() + "/none").empty());
}
