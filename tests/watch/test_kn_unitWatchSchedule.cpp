// The watch's rules as a table: each case a sequence of changes, questions and runs, with what
// the watch must decide at each question.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "watch/kn_unitWatchSchedule.h"

namespace {

using kn::TKNWatchSettings;
using kn::TKNWatchState;
using kn::TKNWatchStep;

// "wait 13", "full start", "changes /a /b*" (* with everything beneath).
std::string Describe(const TKNWatchStep& step)
{
    if (!step.RunNow) {
        std::ostringstream text;
        text << "wait " << step.WakeAt;
        return text.str();
    }
    std::string text = step.Full ? std::string("full ") + step.Why : step.Why;
    for (const auto& [folder, tree] : step.Folders) text += " " + folder + (tree ? "*" : "");
    return text;
}

struct Op {
    double At;
    // change, tree (a folder appeared), overflow, ask (Expect is NextStep's), begin (a run
    // starts: Expect is its step), end, fail.
    std::string What;
    std::string Arg;
};

struct Case {
    const char* Name;
    TKNWatchSettings Settings;
    std::vector<Op> Ops;
};

TKNWatchSettings With(double delay, double hold, double interval = 60, double fullEvery = 3600)
{
    TKNWatchSettings settings;
    settings.Delay = delay;
    settings.Hold = hold;
    settings.Interval = interval;
    settings.FullEvery = fullEvery;
    return settings;
}

TKNWatchSettings Polled(std::map<std::string, bool> folders)
{
    TKNWatchSettings settings = With(2, 20);
    settings.Polled = true;
    settings.PolledFolders = std::move(folders);
    return settings;
}

TKNWatchSettings FewFolders()
{
    TKNWatchSettings settings = With(2, 20);
    settings.MaxFolders = 2;
    return settings;
}

// Every case starts with the whole comparison at 0, ended well.
const std::vector<Op> kStart = {{0, "ask", "full start"}, {0, "begin", "full start"}, {0, "end", ""}};

const Case kCases[] = {
    {"IdleWaitsForTheFullComparison", With(2, 20), {{5, "ask", "wait 3600"}}},
    {"BurstIsOneRunAfterQuiet",
     With(2, 20),
     {{10, "change", "/a"},
      {10.5, "change", "/a"},
      {11, "change", "/b"},
      {12, "ask", "wait 13"},
      {13, "begin", "changes /a /b"},
      {13, "end", ""},
      {14, "ask", "wait 3600"}}},
    {"StreamOfChangesRunsAfterHold",
     With(2, 5),
     {{10, "change", "/a"},
      {11.5, "change", "/a"},
      {13, "change", "/a"},
      {14.5, "change", "/a"},
      {14.9, "ask", "wait 15"},
      {15, "ask", "changes /a"}}},
    {"NewFolderCoversWhatIsBeneathIt",
     With(2, 20),
     {{1, "change", "/a/b"},
      {1.5, "tree", "/a"},
      {1.6, "change", "/a/c"},
      {1.7, "change", "/ab"},
      {4, "ask", "changes /a* /ab"}}},
    {"NewRootIsTheWholeTree", With(2, 20), {{1, "tree", ""}, {3, "ask", "full changes"}}},
    {"TooManyFoldersIsTheWholeTree",
     FewFolders(),
     {{1, "change", "/a"}, {1, "change", "/b"}, {1, "change", "/c"}, {3, "ask", "full changes"}}},
    {"OverflowWaitsForQuietThenComparesWhole",
     With(2, 20),
     {{1, "change", "/a"},
      {1.5, "overflow", ""},
      {2, "ask", "wait 3.5"},
      {3.5, "begin", "full overflow"},
      {3.5, "end", ""},
      {4, "ask", "wait 3603.5"}}},
    {"ChangesDuringARunAreForTheNext",
     With(2, 20),
     {{10, "change", "/a"},
      {12, "begin", "changes /a"},
      {12.5, "change", "/b"},
      {13, "end", ""},
      {14.5, "begin", "changes /b"}}},
    {"FailedRunsBackOffUpToTheInterval",
     With(2, 20, 5),
     {{1, "change", "/a"},
      {3, "begin", "changes /a"},
      {3, "fail", ""},
      {3.5, "ask", "wait 4"},
      {3.9, "change", "/b"},
      {4, "begin", "full retry"},
      {4, "fail", ""},
      {4, "ask", "wait 6"},
      {6, "begin", "full retry"},
      {6, "fail", ""},
      {6, "ask", "wait 10"},
      {10, "begin", "full retry"},
      {10, "fail", ""},
      {10, "ask", "wait 15"},
      {15, "begin", "full retry"},
      {15, "end", ""},
      {16, "ask", "wait 3615"}}},
    {"FullEveryCatchesWhatNoEventTells", With(2, 20, 60, 100), {{99, "change", "/a"}, {100, "ask", "full full-every"}}},
    {"ServerSideIsComparedWholeEveryInterval",
     Polled({}),
     {{30, "ask", "wait 60"}, {60, "begin", "full poll"}, {60, "end", ""}, {61, "ask", "wait 120"}}},
    {"UnwatchedFoldersArePolledWithTheChanges",
     Polled({{"/x", true}}),
     {{50, "change", "/a"},
      {52, "begin", "changes /a"},
      {52, "end", ""},
      {53, "ask", "wait 60"},
      {58, "change", "/x/y"},
      {60, "begin", "poll /x*"},
      {60, "end", ""},
      {61, "ask", "wait 120"}}},
};

class WatchSchedule : public ::testing::TestWithParam<Case> {};

TEST_P(WatchSchedule, Decides)
{
    const Case& c = GetParam();
    TKNWatchState state;
    std::vector<Op> ops = kStart;
    ops.insert(ops.end(), c.Ops.begin(), c.Ops.end());
    for (const Op& op : ops) {
        SCOPED_TRACE(op.What + " at " + std::to_string(op.At) + " " + op.Arg);
        if (op.What == "change" || op.What == "tree") {
            kn::NoteChange(state, op.Arg, op.What == "tree", op.At);
        } else if (op.What == "overflow") {
            kn::NoteOverflow(state, op.At);
        } else if (op.What == "ask" || op.What == "begin") {
            const TKNWatchStep step = kn::NextStep(state, c.Settings, op.At);
            ASSERT_EQ(Describe(step), op.Arg);
            if (op.What == "begin") kn::RunBegins(state, step, op.At);
        } else {
            ASSERT_TRUE(op.What == "end" || op.What == "fail");
            kn::RunEnded(state, op.What == "end", c.Settings, op.At);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WatchSchedule, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& row) { return std::string(row.param.Name); });

}  // namespace
