// Binary files: the zero-byte probe of the first 8 KB and the byte comparison to the first
// difference, across read blocks and for files of which one is the start of the other, read
// from disk or already in memory.
#include <gtest/gtest.h>

#include "diff/kn_unitBinaryFile.h"
#include "tests/common/temp_tree.h"

namespace {

std::string ZeroAt(size_t offset, size_t size)
{
    std::string bytes(size, 'x');
    bytes[offset] = '\0';
    return bytes;
}

TEST(BinaryFile, OnlyAZeroByteInTheFirst8KBCounts)
{
    EXPECT_FALSE(kn::LooksBinary(""));
    EXPECT_FALSE(kn::LooksBinary("plain text\n\x01\x7f\xff"));
    EXPECT_TRUE(kn::LooksBinary(ZeroAt(0, 10)));
    EXPECT_TRUE(kn::LooksBinary(ZeroAt(kn::kBinaryProbeSize - 1, kn::kBinaryProbeSize + 10)));
    EXPECT_FALSE(kn::LooksBinary(ZeroAt(kn::kBinaryProbeSize, kn::kBinaryProbeSize + 10)));
}

TEST(BinaryFile, ComparesToTheFirstDifference)
{
    const std::string block(1 << 16, '\0');  // one read block of zero bytes
    std::string late = block + block;
    late[(1 << 16) + 5] = 'q';
    struct Case {
        const char* name;
        std::string left, right;
        bool binary, identical;
        int64_t first;
    };
    const Case cases[] = {
        {"two texts are left to the line difference", "a\n", "b\n", false, false, -1},
        {"a text with a late zero byte", ZeroAt(9000, 9100), ZeroAt(9000, 9100), false, false, -1},
        {"same bytes", std::string("\0ab", 3), std::string("\0ab", 3), true, true, -1},
        {"differ at byte 2", std::string("\0ab", 3), std::string("\0aX", 3), true, false, 2},
        {"one is the start of the other", std::string("\0ab", 3), std::string("\0abcd", 5), true, false, 3},
        {"binary against empty", std::string("\0", 1), "", true, false, 0},
        {"binary against text", "text\n", std::string("text\0", 5), true, false, 4},
        {"difference in the second read block", block + block, late, true, false, (1 << 16) + 5},
        {"same over several blocks", late, late, true, true, -1},
    };
    testutil::TempDir dir;
    for (const Case& c : cases) {
        testutil::WriteFile(dir / "left", c.left);
        testutil::WriteFile(dir / "right", c.right);
        kn::TBinaryComparison result;
        std::string error;
        ASSERT_TRUE(kn::CompareBinaryFiles(dir / "left", dir / "right", result, error)) << c.name << ": " << error;
        // Files already read (a file fetched from a server) compare the same way.
        for (const kn::TBinaryComparison& r : {result, kn::CompareBinaryBytes(c.left, c.right)}) {
            EXPECT_EQ(r.Binary, c.binary) << c.name;
            EXPECT_EQ(r.Identical, c.identical) << c.name;
            EXPECT_EQ(r.FirstDifference, c.first) << c.name;
        }
    }
}

TEST(BinaryFile, AnUnreadableFileIsNamedWithTheReason)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "left", "a");
    kn::TBinaryComparison result;
    std::string error;
    EXPECT_FALSE(kn::CompareBinaryFiles(dir / "left", dir / "missing", result, error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(kn::CompareBinaryFiles(dir.path(), dir / "left", result, error)) << "a folder is no file";
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
}

}  // namespace
