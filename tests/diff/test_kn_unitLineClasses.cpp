// Line classes: equal numbers exactly for equal bytes, also when CRC-32 values collide.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "diff/kn_unitDiff.h"
#include "diff/kn_unitLineClasses.h"
#include "diff/kn_unitTextFile.h"

namespace {

using Views = std::vector<std::string_view>;

// The CRC-32 register after `bytes`, before the final complement.
uint32_t Register(std::string_view bytes)
{
    return kn::LineHash(bytes) ^ 0xFFFFFFFFu;
}

// Four bytes that, appended to `prefix`, give the line the CRC-32 `target`. Each byte step of
// the register is (r >> 8) ^ T[(r ^ b) & 0xFF], and the top bytes of the 256 table entries
// are all different, so the table indices of the four steps can be read backwards off the
// target register; the bytes then follow forwards from the prefix's register.
std::string CollidingTail(std::string_view prefix, uint32_t target)
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        table[n] = n;
        for (int bit = 0; bit < 8; ++bit) table[n] = (table[n] & 1) ? 0xEDB88320u ^ (table[n] >> 1) : table[n] >> 1;
    }
    auto indexWithTop = [&table](uint32_t top) {
        for (uint32_t n = 0; n < 256; ++n)
            if (table[n] >> 24 == top) return n;
        ADD_FAILURE() << "no table entry with top byte " << top;
        return 0u;
    };
    std::array<uint32_t, 4> index{};
    uint32_t r = target ^ 0xFFFFFFFFu;
    for (int step = 3; step >= 0; --step) {
        index[static_cast<size_t>(step)] = indexWithTop(r >> 24);
        r = (r ^ table[index[static_cast<size_t>(step)]]) << 8;  // its low byte is unknown, and not needed
    }
    std::string tail;
    r = Register(prefix);
    for (uint32_t i : index) {
        tail += static_cast<char>((i ^ r) & 0xFF);
        r = (r >> 8) ^ table[i];
    }
    return tail;
}

// A line unlike `line` with the same CRC-32 and no line break or NUL in it.
std::string CollidingLine(const std::string& line)
{
    for (int attempt = 0;; ++attempt) {
        const std::string prefix = "collides with " + std::to_string(attempt);
        const std::string candidate = prefix + CollidingTail(prefix, kn::LineHash(line));
        if (candidate.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) return candidate;
    }
}

TEST(LineClassesTest, EqualBytesShareAClassAcrossBothFiles)
{
    const Views left{"a", "b", "a", ""}, right{"", "c", "b", "a"};
    const kn::TLineClasses classes = kn::ClassifyLines(left, right);
    EXPECT_EQ(classes.Left, (std::vector<uint32_t>{0, 1, 0, 2}));
    EXPECT_EQ(classes.Right, (std::vector<uint32_t>{2, 3, 1, 0}));
    EXPECT_EQ(classes.Count, 4u);
}

TEST(LineClassesTest, ForgedCrcCollisionsStayApart)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 20; ++round) {
        const std::string line = "line " + std::to_string(rng());
        const std::string twin = CollidingLine(line);
        SCOPED_TRACE(line);
        ASSERT_NE(twin, line);
        ASSERT_EQ(kn::LineHash(twin), kn::LineHash(line)) << "the forged line collides";
        const kn::TLineClasses classes = kn::ClassifyLines({"same", line, twin}, {"same", twin, line});
        EXPECT_EQ(classes.Left, (std::vector<uint32_t>{0, 1, 2}));
        EXPECT_EQ(classes.Right, (std::vector<uint32_t>{0, 2, 1}));
    }
}

TEST(LineClassesTest, ACollisionInTheTextIsStillAChange)
{
    const std::string changed = "return total;";
    const std::string twin = CollidingLine(changed);
    const std::string left = "int f()\n{\n" + changed + "\n}\n", right = "int f()\n{\n" + twin + "\n}\n";
    const kn::TLineClasses classes = kn::ClassifyLines(kn::SplitTextLineViews(left), kn::SplitTextLineViews(right));
    kn::TDiff diff;
    ASSERT_TRUE(diff.Compare(classes.Left, classes.Right));
    EXPECT_EQ(diff.GetChanges(), (std::vector<kn::TDiffChange>{{kn::TDiffKind::dkModify, 2, 2, 1}}));
}

}  // namespace
