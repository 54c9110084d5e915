// How the FTP side reads a server's clock and its answer to "LIST -a".
#include <gtest/gtest.h>

#include "ftp/kn_unitFtpSideRules.h"

namespace kn {
namespace {

TEST(FtpSideRules, MdtmIsComparedWithTheListingAtItsStep)
{
    constexpr int64_t t = 1577872800;  // 2020-01-01 10:00:00 UTC
    struct Case {
        const char* what;
        int64_t mdtm, listed;
        uint32_t step;
        TKNServerClock clock;
        int64_t offset;
    };
    const Case cases[] = {
        {"exact", t + 7, t + 7, 1, TKNServerClock::Agrees, 0},
        {"within the minute", t + 59, t, 60, TKNServerClock::Agrees, 0},
        {"the next minute", t + 60, t, 60, TKNServerClock::Disagrees, 0},
        {"server three hours east", t + 3 * 3600 + 30, t, 60, TKNServerClock::WholeHours, 3 * 3600},
        {"server five hours west", t - 5 * 3600 + 1, t, 60, TKNServerClock::WholeHours, -5 * 3600},
        {"half an hour", t + 1800, t, 60, TKNServerClock::Disagrees, 0},
        {"whole hours to the second", t + 3601, t + 1, 1, TKNServerClock::WholeHours, 3600},
        {"a second short", t + 3599, t, 1, TKNServerClock::Disagrees, 0},
        {"a whole day", t + 24 * 3600, t, 60, TKNServerClock::Disagrees, 0},
        {"listed to the day", t + 3 * 3600, t, 86400, TKNServerClock::Unknown, 0},
    };
    for (const Case& c : cases) {
        int64_t offset = -1;
        EXPECT_EQ(CompareServerClock(c.mdtm, c.listed, c.step, offset), c.clock) << c.what;
        EXPECT_EQ(offset, c.offset) << c.what;
    }
}

TEST(FtpSideRules, ListAllMustHoldEveryPlainName)
{
    using Names = std::vector<std::string>;
    EXPECT_TRUE(ListAllUnderstood({"a", "b"}, {".hidden", "a", "b"}));
    EXPECT_TRUE(ListAllUnderstood({}, {}));
    EXPECT_FALSE(ListAllUnderstood({"a", "b"}, Names{}));  // "-a" read as a missing name
    EXPECT_FALSE(ListAllUnderstood({"a", "b"}, {"-a"}));   // or as a file of that name
}

}  // namespace
}  // namespace kn
