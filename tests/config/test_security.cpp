// Password scrambling.
#include <gtest/gtest.h>

#include "framework/vex_unitSecurity.h"

TEST(Security, ScrambledLengthIsPaddedToEven)
{
    struct Case {
        std::size_t length;
        std::size_t scrambled;
    };
    for (Case c : {Case{0, 0}, Case{1, 2}, Case{3, 4}, Case{4, 4}, Case{16, 16}, Case{8191, 8192},
                   Case{8192, 8192}, Case{8193, 8192}, Case{9000, 8192}}) {
        EXPECT_EQ(vex::ScramblePassword(std::string(c.length, 'a')).size(), c.scrambled) << c.length;
    }
}

TEST(Security, ScrambledTextHidesThePasswordAndHasNoZero)
{
    const std::string password = "Secret \xc3\xa4 1";
    std::string s = vex::ScramblePassword(password);
    EXPECT_EQ(s.find("Secret"), std::string::npos);
    EXPECT_EQ(s.find('\0'), std::string::npos);
    EXPECT_TRUE(vex::IsStorablePassword(password));
}

TEST(Security, CheckIsExactAndCaseSensitive)
{
    const std::string stored = vex::ScramblePassword("abc");
    EXPECT_TRUE(vex::CheckPassword("abc", stored));
    EXPECT_FALSE(vex::CheckPassword("abC", stored));
    EXPECT_FALSE(vex::CheckPassword("abc ", stored)) << "the padding is no typable character";
    EXPECT_FALSE(vex::CheckPassword("ab", stored));
    EXPECT_FALSE(vex::CheckPassword("", stored));
    EXPECT_TRUE(vex::CheckPassword("", "")) << "no password set: an empty entry passes";
    EXPECT_FALSE(vex::CheckPassword("x", ""));
}

TEST(Security, StorablePasswords)
{
    EXPECT_TRUE(vex::IsStorablePassword(std::string(16, 'x')));
    EXPECT_FALSE(vex::IsStorablePassword(std::string(17, 'x')));
    EXPECT_FALSE(vex::IsStorablePassword("ab\xf5"));  // scrambles to a zero byte
}
