// An update's progress as text: bytes in work counted once, rate and time left only when
// they can be told, the transfer in work after the run's figures.
#include <gtest/gtest.h>

#include <string>

#include "engine/kn_unitProgressText.h"

namespace {

constexpr int64_t MiB = 1024 * 1024;

TEST(ProgressText, RunAndTransferInWork)
{
    struct Case {
        const char* what;
        kn::TKNUpdateFigures figures;
        std::string text;
    };
    const Case cases[] = {
        {"nothing moved yet: no rate, no time left",
         {4, 0, 10 * MiB, 0, "", 0, 0, 0.5},
         "0/4 operations, 0 bytes of 10.0 MiB"},
        {"under a second: no rate even with bytes",
         {4, 0, 10 * MiB, 0, "a", 10 * MiB, MiB, 0.9},
         "0/4 operations, 1.0 MiB of 10.0 MiB; 1.0 MiB of 10.0 MiB in a"},
        {"one big file in work: the run and the file each have their time left",
         {1, 0, 100 * MiB, 0, "big.iso", 100 * MiB, 25 * MiB, 5},
         "0/1 operations, 25.0 MiB of 100.0 MiB, 5.0 MiB/s, 0:15 left; 25.0 MiB of 100.0 MiB, 0:15 left in big.iso"},
        {"ended copies and the one in work add up",
         {3, 2, 30 * MiB, 20 * MiB, "c", 10 * MiB, 5 * MiB, 5},
         "2/3 operations, 25.0 MiB of 30.0 MiB, 5.0 MiB/s, 0:01 left; 5.0 MiB of 10.0 MiB, 0:01 left in c"},
        {"nothing in work: only the run",
         {3, 3, 30 * MiB, 30 * MiB, "", 0, 0, 10},
         "3/3 operations, 30.0 MiB of 30.0 MiB, 3.0 MiB/s, 0:00 left"},
        {"a file that grew: the run is never shown past its plan",
         {1, 0, 10 * MiB, 0, "g", 10 * MiB, 12 * MiB, 2},
         "0/1 operations, 10.0 MiB of 10.0 MiB, 5.0 MiB/s, 0:00 left; 12.0 MiB of 10.0 MiB, 0:00 left in g"},
        {"hours left",
         {1, 0, 4096 * MiB, 0, "disk.img", 4096 * MiB, MiB, 1},
         "0/1 operations, 1.0 MiB of 4.0 GiB, 1.0 MiB/s, 1:08:15 left; 1.0 MiB of 4.0 GiB, 1:08:15 left in disk.img"},
    };
    for (const Case& c : cases) EXPECT_EQ(kn::UpdateProgressText(c.figures), c.text) << c.what;
}

}  // namespace
