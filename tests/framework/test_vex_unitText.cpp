#include <gtest/gtest.h>

#include "framework/vex_unitText.h"

using namespace vex;

TEST(Text, AsciiFoldingOnly)
{
    EXPECT_EQ(UpperCaseAscii("abc\xc3\xa4z"), "ABC\xc3\xa4Z");
    EXPECT_TRUE(SameTextAscii("Readme.TXT", "README.txt"));
    EXPECT_FALSE(SameTextAscii("\xc3\xa4", "\xc3\x84"));
    EXPECT_LT(CompareTextAscii("abc", "ABD"), 0);
    EXPECT_LT(CompareTextAscii("ab", "AB_"), 0);  // a prefix sorts first
    EXPECT_EQ(CompareTextAscii("aBc", "AbC"), 0);
    EXPECT_GT(CompareTextAscii("\xc3", "z"), 0);  // bytes compare unsigned
}

TEST(Text, FieldsNeverSplitUtf8)
{
    char field[5];
    SetField(field, "abcdef");
    EXPECT_EQ(GetField(field), "abcd");
    SetField(field, "ab\xe2\x82\xac");  // "ab" + euro sign (3 bytes) needs 5 bytes + NUL
    EXPECT_EQ(GetField(field), "ab");
    EXPECT_EQ(field[2], 0);
    EXPECT_EQ(field[4], 0);
    SetField(field, "a\xc3\xa4x");
    EXPECT_EQ(GetField(field), "a\xc3\xa4x");
    char full[3] = {'x', 'y', 'z'};
    EXPECT_EQ(GetField(full), "xyz");  // no NUL: the whole field
}
