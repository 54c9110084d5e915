// Password scrambling.
#include <gtest/gtest.h>

#include "config/kn_unitConfigRecords.h"
#include "framework/vex_unitSecurity.h"
#include "framework/vex_unitText.h"

TEST(Security, ScrambledLengthIsPaddedToEven)
{
    struct Case {
        std::size_t length;
        std::size_t scrambled;
    };
    for (Case c : {Case{0, 0}, Case{1, 2}, Case{3, 4}, Case{4, 4}, Case{16, 16}, Case{8191, 8192}, Case{8192, 8192},
                   Case{8193, 8192}, Case{9000, 8192}}) {
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

TEST(Security, HeaderPasswordField)
{
    kn::TKNConfigHeader h{};
    EXPECT_FALSE(kn::HasPassword(h));
    EXPECT_TRUE(kn::CheckHeaderPassword(h, ""));

    ASSERT_TRUE(kn::StorePassword(h, "abc"));
    EXPECT_TRUE(kn::HasPassword(h));
    EXPECT_EQ(vex::GetField(h.Password).size(), 4u) << "3 characters are stored padded as 4 bytes";
    EXPECT_TRUE(kn::CheckHeaderPassword(h, "abc"));
    EXPECT_FALSE(kn::CheckHeaderPassword(h, "ABC"));
    EXPECT_FALSE(kn::CheckHeaderPassword(h, ""));

    // 16 bytes fill the field up to its NUL, whatever the scrambled bytes look like.
    const std::string sixteen =
        "\xc3\xa4\xc3\xb6\xc3\xbc"
        "abcdefghij";
    ASSERT_EQ(sixteen.size(), 16u);
    ASSERT_TRUE(kn::StorePassword(h, sixteen));
    EXPECT_EQ(vex::GetField(h.Password).size(), 16u);
    EXPECT_EQ(h.Password[16], 0);
    EXPECT_TRUE(kn::CheckHeaderPassword(h, sixteen));

    // Eight 2-byte letters are 16 bytes; nine are too many for the field and are refused.
    EXPECT_FALSE(kn::StorePassword(h, sixteen + "\xc3\xa4"));
    EXPECT_TRUE(kn::CheckHeaderPassword(h, sixteen)) << "a refused password changes nothing";

    ASSERT_TRUE(kn::StorePassword(h, ""));
    EXPECT_FALSE(kn::HasPassword(h));
}
