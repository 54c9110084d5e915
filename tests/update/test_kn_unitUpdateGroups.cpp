// Copies carried in groups by a worker whose sides carry several files at once: how large a
// group is and what joins one (tables), and update runs over local sides wrapped to play a
// server that carries four files at once and answers its opens late, held against the same
// copies carried one by one: the same events and trees, the side's order kept, never more
// streams open than it carries, and a stop in the middle of a group that leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitUpdateSchedule.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using kn::TKNOperation;
using kn::TKNOpResult;
using kn::TKNSideError;

namespace {

// --- The rules --------------------------------------------------------------------------------

TEST(UpdateGroups, GroupSizeFollowsTheSidesAndOnlySmallFileCopiesJoin)
{
    auto caps = [](bool remote, int files) {
        kn::TKNSideCaps c;
        c.Remote = remote;
        c.FilesAtOnce = files;
        return c;
    };
    for (auto [a, b, size] : {std::tuple{caps(false, 64), caps(false, 64), 1},
                              {caps(false, 64), caps(true, 16), 16},
                              {caps(true, 16), caps(false, 64), 16},
                              {caps(false, 64), caps(true, 1), 1},
                              {caps(true, 4), caps(true, 16), 4},
                              {caps(true, 64), caps(false, 64), kn::kMaxGroupFiles},
                              {caps(true, 0), caps(false, 64), 1}})
        EXPECT_EQ(kn::FilesPerGroup(a, b), size) << a.Remote << a.FilesAtOnce << " " << b.Remote << b.FilesAtOnce;
    using Op = TKNOperation;
    const int64_t most = kn::kMaxGroupFileBytes;
    for (auto [item, joins] : {std::pair{kn::TKNScheduleItem{Op::CopyLeftToRight, false, false, 1, 10}, true},
                               {kn::TKNScheduleItem{Op::CopyRightToLeft, false, false, 3, most}, true},
                               {kn::TKNScheduleItem{Op::CopyLeftToRight, false, false, 1, most + 1}, false},
                               {kn::TKNScheduleItem{Op::CopyLeftToRight, true, false, 1, 0}, false},
                               {kn::TKNScheduleItem{Op::DeleteRight, false, false, 1, 10}, false},
                               {kn::TKNScheduleItem{Op::SetTime, false, false, 1, 10}, false}})
        EXPECT_EQ(kn::JoinsGroup(item), joins) << static_cast<int>(item.Op) << " " << item.Bytes;
}

// --- A side that plays a server carrying several files at once ----------------------------------

// What the wrapped sides of one run saw: per side, its opens, byte moves and commits in order,
// and the most streams one side held open at once.
struct Journal {
    int filesAtOnce = 1;
    std::function<void(int moves)> beforeMove;  // e.g. a stop in the middle of a group
    std::mutex lock;
    std::map<int, std::vector<std::string>> events;  // side -> "open p", "move p", "commit p"
    std::map<int, int> open;
    int mostOpen = 0, moves = 0, sides = 0;

    void Note(int side, const std::string& what, const kn::TKNSidePath& path)
    {
        std::lock_guard<std::mutex> guard(lock);
        events[side].push_back(what + " " + path.Text());
    }
    void Opened(int side, int delta)
    {
        std::lock_guard<std::mutex> guard(lock);
        mostOpen = std::max(mostOpen, open[side] += delta);
    }
};

// A stream counted open while it lives; an open that failed fails at its first use, as a side
// that answers opens late does.
struct Counted {
    Journal& journal;
    int side;
    Counted(Journal& j, int s) : journal(j), side(s) { journal.Opened(side, 1); }
    ~Counted() { journal.Opened(side, -1); }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
};

class LateRead : public kn::TKNReadStream {
public:
    LateRead(Journal& journal, int side, kn::TKNSidePath path, std::unique_ptr<kn::TKNReadStream> inner,
             kn::TKNSideResult failure)
        : counted_(journal, side), path_(std::move(path)), inner_(std::move(inner)), failure_(std::move(failure))
    {
    }
    // Its bytes are about to move (the writer it goes to tells).
    void Moving() { counted_.journal.Note(counted_.side, "move", path_); }
    int64_t Read(char* buffer, std::size_t size, kn::TKNSideResult& result) override
    {
        if (!inner_) result = failure_;
        return inner_ ? inner_->Read(buffer, size, result) : -1;
    }
    int LocalHandle() const override { return inner_ ? inner_->LocalHandle() : -1; }

private:
    Counted counted_;
    kn::TKNSidePath path_;
    std::unique_ptr<kn::TKNReadStream> inner_;
    kn::TKNSideResult failure_;
};

class LateWrite : public kn::TKNWriteStream {
public:
    LateWrite(Journal& journal, int side, kn::TKNSidePath path, std::unique_ptr<kn::TKNWriteStream> inner,
              kn::TKNSideResult failure)
        : counted_(journal, side), path_(std::move(path)), inner_(std::move(inner)), failure_(std::move(failure))
    {
    }
    kn::TKNSideResult Write(const char* data, std::size_t size) override
    {
        return inner_ ? inner_->Write(data, size) : failure_;
    }
    kn::TKNSideResult WriteFrom(kn::TKNReadStream& source, const std::function<void(int64_t)>& moved) override
    {
        Journal& journal = counted_.journal;
        journal.Note(counted_.side, "move", path_);
        if (auto* read = dynamic_cast<LateRead*>(&source)) read->Moving();
        if (journal.beforeMove) journal.beforeMove(++journal.moves);
        return inner_ ? inner_->WriteFrom(source, moved) : failure_;
    }
    kn::TKNSideResult Commit() override
    {
        counted_.journal.Note(counted_.side, "commit", path_);
        return inner_ ? inner_->Commit() : failure_;
    }
    void Abort() override
    {
        if (inner_) inner_->Abort();
    }

private:
    Counted counted_;
    kn::TKNSidePath path_;
    std::unique_ptr<kn::TKNWriteStream> inner_;
    kn::TKNSideResult failure_;
};

class GroupSide : public kn::TKNSide {
public:
    GroupSide(const std::string& location, const kn::TKNSideContext& context, Journal& journal)
        : inner_(kn::OpenSide(location, context)), journal_(journal)
    {
        std::lock_guard<std::mutex> guard(journal.lock);
        id_ = journal.sides++;
    }
    const kn::TKNSideCaps& Caps() const override
    {
        caps_ = inner_->Caps();
        caps_.Remote = true;
        caps_.FilesAtOnce = journal_.filesAtOnce;
        return caps_;
    }
    std::string Shown(const kn::TKNSidePath& path) const override { return inner_->Shown(path); }
    kn::TKNSideResult Connect() override { return inner_->Connect(); }
    kn::TKNSideResult List(const kn::TKNSidePath& folder, std::vector<kn::TKNSideEntry>& entries) override
    {
        return inner_->List(folder, entries);
    }
    kn::TKNSideResult Stat(const kn::TKNSidePath& path, kn::TKNSideEntry& entry) override
    {
        return inner_->Stat(path, entry);
    }
    kn::TKNSideResult OpenRead(const kn::TKNSidePath& path, std::unique_ptr<kn::TKNReadStream>& stream) override
    {
        std::unique_ptr<kn::TKNReadStream> inner;
        kn::TKNSideResult result = inner_->OpenRead(path, inner);
        if (!result && !Late()) return result;
        journal_.Note(id_, "open", path);
        stream = std::make_unique<LateRead>(journal_, id_, path, std::move(inner), result);
        return kn::TKNSideResult::Ok();
    }
    kn::TKNSideResult OpenWrite(const kn::TKNSidePath& path, const kn::TKNWriteTerms& terms,
                                std::unique_ptr<kn::TKNWriteStream>& stream) override
    {
        std::unique_ptr<kn::TKNWriteStream> inner;
        kn::TKNSideResult result = inner_->OpenWrite(path, terms, inner);
        if (!result && !Late()) return result;
        journal_.Note(id_, "open", path);
        stream = std::make_unique<LateWrite>(journal_, id_, path, std::move(inner), result);
        return kn::TKNSideResult::Ok();
    }
    kn::TKNSideResult MakeFolder(const kn::TKNSidePath& path, int mode) override
    {
        return inner_->MakeFolder(path, mode);
    }
    kn::TKNSideResult RemoveFolder(const kn::TKNSidePath& path) override { return inner_->RemoveFolder(path); }
    kn::TKNSideResult RemoveFile(const kn::TKNSidePath& path, const kn::TKNExpected& expected) override
    {
        return inner_->RemoveFile(path, expected);
    }
    kn::TKNSideResult SetTime(const kn::TKNSidePath& path, int64_t mtime, int32_t nsec) override
    {
        return inner_->SetTime(path, mtime, nsec);
    }
    kn::TKNSideResult SetMode(const kn::TKNSidePath& path, uint32_t mode) override
    {
        return inner_->SetMode(path, mode);
    }
    kn::TKNSideResult Rename(const kn::TKNSidePath& from, const kn::TKNSidePath& to) override
    {
        return inner_->Rename(from, to);
    }

private:
    // Only a side that carries several files at once may answer its opens late.
    bool Late() const { return journal_.filesAtOnce > 1; }

    std::unique_ptr<kn::TKNSide> inner_;
    Journal& journal_;
    int id_ = 0;
    mutable kn::TKNSideCaps caps_;
};

// The order a side carrying several files at once is promised, on each side: a group's opens,
// then its moves in the order opened, then its commits in that order.
void ExpectGroupOrder(const std::vector<std::string>& events, const std::string& what)
{
    std::vector<std::string> opened, moved, committed;
    auto endGroup = [&] {
        EXPECT_EQ(moved, opened) << what << ": every stream opened is moved, in the order opened";
        std::size_t at = 0;  // the commits are a part of the moves, in their order
        for (const std::string& path : committed) {
            while (at < moved.size() && moved[at] != path) ++at;
            EXPECT_LT(at++, moved.size()) << what << ": commit " << path << " out of the order moved";
        }
        opened.clear(), moved.clear(), committed.clear();
    };
    for (const std::string& event : events) {
        const std::string kind = event.substr(0, event.find(' ')), path = event.substr(event.find(' ') + 1);
        if (kind == "open" && !(moved.empty() && committed.empty())) endGroup();
        if (kind == "move") {
            EXPECT_TRUE(committed.empty()) << what << ": " << event << " after a commit";
        }
        (kind == "open" ? opened : kind == "move" ? moved : committed).push_back(path);
    }
    endGroup();
}

// --- The runs ---------------------------------------------------------------------------------

// One copy of the table: the file on each side before the comparison, what happens to it
// between the comparison and the update, and how its copy ends.
struct Copy {
    const char* path;
    const char* left;
    const char* right;  // null: none
    enum { Stays, DestinationChanges, SourceVanishes, FolderAppears } meanwhile;
    TKNOpResult result;
    TKNSideError kind;
};

const Copy kCopies[] = {
    {"a/new1", "one", nullptr, Copy::Stays, TKNOpResult::Done, TKNSideError::None},
    {"a/new2", "two", nullptr, Copy::Stays, TKNOpResult::Done, TKNSideError::None},
    {"a/replaced1", "new contents", "old", Copy::Stays, TKNOpResult::Done, TKNSideError::None},
    {"a/x-changed", "new", "old", Copy::DestinationChanges, TKNOpResult::Skipped, TKNSideError::Changed},
    {"a/y-vanished", "gone", nullptr, Copy::SourceVanishes, TKNOpResult::Failed, TKNSideError::NotFound},
    {"a/z-new3", "three", nullptr, Copy::Stays, TKNOpResult::Done, TKNSideError::None},
    {"b/in-the-way", "file", nullptr, Copy::FolderAppears, TKNOpResult::Failed, TKNSideError::Exists},
    {"b/new4", "four", nullptr, Copy::Stays, TKNOpResult::Done, TKNSideError::None},
    {"b/replaced2", "newer", "older", Copy::Stays, TKNOpResult::Done, TKNSideError::None},
    {"b/w-vanished", "gone too", "old", Copy::SourceVanishes, TKNOpResult::Failed, TKNSideError::NotFound},
    {"c/large", nullptr, nullptr, Copy::Stays, TKNOpResult::Done, TKNSideError::None},  // one alone
    {"c/new5", "five", nullptr, Copy::Stays, TKNOpResult::Done, TKNSideError::None},
    {"c/new6", "six", nullptr, Copy::Stays, TKNOpResult::Done, TKNSideError::None},
};

std::string Contents(const Copy& copy)
{
    return copy.left ? copy.left : std::string(static_cast<std::size_t>(kn::kMaxGroupFileBytes) + 1, 'L');
}

using Tree = std::map<std::string, std::string>;

struct Ended {
    std::map<std::string, std::string> events;  // path -> result, kind and message
    Tree left, right;
    Journal journal;
};

// The table's trees compared, changed meanwhile and updated left to right with `transfers`
// workers whose sides carry `filesAtOnce` files at once.
void RunTable(int filesAtOnce, int transfers, Ended& ended)
{
    TempDir dir;
    MakeDirs(dir / "R");
    for (const Copy& copy : kCopies) {
        Put(dir / ("L/" + std::string(copy.path)), Contents(copy), 100);
        if (copy.right) Put(dir / ("R/" + std::string(copy.path)), copy.right, 0);
    }
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), std::size(kCopies) + 1);  // and the folder c, which the right side lacks
    for (const Copy& copy : kCopies) {
        const std::string left = dir / ("L/" + std::string(copy.path)), right = dir / ("R/" + std::string(copy.path));
        if (copy.meanwhile == Copy::DestinationChanges) Put(right, "changed meanwhile", 50);
        if (copy.meanwhile == Copy::SourceVanishes) RemoveTree(left);
        if (copy.meanwhile == Copy::FolderAppears) MakeDirs(right);
    }
    ended.journal.filesAtOnce = filesAtOnce;
    h.engine.Transfers = transfers;
    h.engine.OpenUpdateSide = [&ended](const std::string& location, const kn::TKNSideContext& context) {
        return std::make_unique<GroupSide>(location, context, ended.journal);
    };
    h.engine.OnOperation = [&ended, &dir](void*, const kn::TKNOpEvent& event) {
        std::string message = event.Message;
        for (std::size_t at; (at = message.find(dir.path())) != std::string::npos;)
            message.replace(at, dir.path().size(), "<dir>");
        ended.events[event.Path] =
            std::to_string(static_cast<int>(event.Result)) + " " + kn::SideErrorWord(event.ErrorKind) + " " + message;
    };
    h.Update(kn::TKNAction::LeftToRight, false);
    ended.left = Snapshot(dir / "L");
    ended.right = Snapshot(dir / "R");
}

// Carried in groups of four, by one worker or two, the table's copies end as they end one by
// one (each as the table says), the written side sees its promised order, and no side ever
// holds more streams than it carries at once.
TEST(UpdateGroups, AGroupEndsAsItsCopiesCarriedOneByOne)
{
    Ended alone;
    RunTable(1, 1, alone);
    for (const Copy& copy : kCopies) {
        const std::string& event = alone.events[copy.path];
        EXPECT_EQ(event.substr(0, event.find(' ', event.find(' ') + 1)),
                  std::to_string(static_cast<int>(copy.result)) + " " + kn::SideErrorWord(copy.kind))
            << copy.path << ": " << event;
    }
    EXPECT_EQ(alone.journal.mostOpen, 1);
    for (int transfers : {1, 2}) {
        SCOPED_TRACE("workers: " + std::to_string(transfers));
        Ended grouped;
        RunTable(4, transfers, grouped);
        EXPECT_EQ(grouped.events, alone.events);
        EXPECT_EQ(grouped.right, alone.right);
        EXPECT_EQ(grouped.left, alone.left);
        EXPECT_EQ(grouped.journal.mostOpen, 4) << "groups of four were carried, never more";
        for (const auto& [side, events] : grouped.journal.events)
            ExpectGroupOrder(events, "side " + std::to_string(side));
    }
}

// A stop raised while the second copy of a group moves its bytes: no copy of the group is
// committed, nothing is begun after it, and the written tree is as it was (no temporary, no
// partial file).
TEST(UpdateGroups, AStopInTheMiddleOfAGroupLeavesNothingBehind)
{
    TempDir dir;
    for (int i = 0; i < 8; ++i) Put(dir / ("L/f" + std::to_string(i)), std::string(1000, 'n'), 100);
    for (int i = 0; i < 3; ++i) Put(dir / ("R/f" + std::to_string(i)), "old", 0);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 8u);
    const Tree before = Snapshot(dir / "R");
    Journal journal;
    journal.filesAtOnce = 4;
    journal.beforeMove = [&h](int moves) {
        if (moves == 2) h.engine.StopCompare();
    };
    h.engine.Transfers = 1;
    h.engine.OpenUpdateSide = [&journal](const std::string& location, const kn::TKNSideContext& context) {
        return std::make_unique<GroupSide>(location, context, journal);
    };
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_TRUE(h.engine.LastUpdate().Stopped);
    EXPECT_EQ(h.engine.LastUpdate().Done.FilesToCopy, 0);
    EXPECT_EQ(Snapshot(dir / "R"), before);
    EXPECT_EQ(journal.moves, 2) << "nothing moved after the stop";
    EXPECT_EQ(journal.mostOpen, 4);
    for (const auto& [side, events] : journal.events)
        for (const std::string& event : events) EXPECT_EQ(event.rfind("commit", 0), std::string::npos) << event;
}

}  // namespace
