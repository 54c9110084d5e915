// JSON strings: every byte string comes back from the escape, valid UTF-8 stays readable.
#include <gtest/gtest.h>

#include "framework/vex_unitJson.h"

TEST(VexJson, StringEscapes)
{
    struct Case {
        std::string text, json;
    };
    const Case cases[] = {
        {"plain/a.txt", R"("plain/a.txt")"},
        {"tab\there\nnew \"q\" \\", R"("tab\there\nnew \"q\" \\")"},
        {std::string("nul\0bel\x07"
                     "del\x7f",
                     12),
         R"("nul\u0000bel\u0007del\u007f")"},
        {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80\""},
        {"latin1 caf\xe9", R"("latin1 caf\udce9")"},                      // a lone byte
        {"cut \xe6\x97", R"("cut \udce6\udc97")"},                        // a sequence cut short
        {"overlong \xc0\xaf", R"("overlong \udcc0\udcaf")"},              // "/" written in two bytes
        {"surrogate \xed\xa0\x80", R"("surrogate \udced\udca0\udc80")"},  // UTF-16 halves are no UTF-8
        {"above \xf4\x90\x80\x80", R"("above \udcf4\udc90\udc80\udc80")"},
        {"c1 \xc2\x9b[2J", R"("c1 \u009b[2J")"},  // a terminal's one-byte CSI
    };
    for (const Case& c : cases) EXPECT_EQ(vex::JsonString(c.text), c.json) << c.text;
}

TEST(VexJson, ObjectKeepsTheOrderGiven)
{
    vex::TJsonObject inner;
    inner.Number("size", -5);
    vex::TJsonObject o;
    o.String("type", "row").Bool("ok", false).Null("left").Raw("right", inner.Text()).Number("n", 1);
    EXPECT_EQ(o.Text(), R"({"type":"row","ok":false,"left":null,"right":{"size":-5},"n":1})");
    EXPECT_EQ(vex::TJsonObject().Text(), "{}");
}
