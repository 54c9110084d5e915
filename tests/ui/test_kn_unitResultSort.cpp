#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ui/kn_unitResultSort.h"

namespace {

using kn::TMyFileOpt;

// A side: "" for absent, "name" for a file in /root, "name/" for a folder.
kn::TKNFileRec Side(const std::string& entry, int64_t size, double time)
{
    kn::TKNFileRec rec;
    if (entry.empty()) return rec;
    if (entry.back() == '/') {
        rec.Path = "/root/" + entry.substr(0, entry.size() - 1);
        rec.Attr = kn::faDirectory;
    } else {
        rec.Path = "/root";
        rec.Name = entry;
        rec.Attr = kn::faArchive;
    }
    rec.Size = size;
    rec.Time = time;
    return rec;
}

struct RowShape {
    std::string left;
    int64_t leftSize;
    double leftTime;
    kn::TKNStatus status;
    std::string right;
    int64_t rightSize;
    double rightTime;
};

std::vector<std::unique_ptr<TMyFileOpt>> MakeRows(const std::vector<RowShape>& shapes)
{
    std::vector<std::unique_ptr<TMyFileOpt>> rows;
    for (const RowShape& s : shapes) {
        auto row = std::make_unique<TMyFileOpt>();
        row->Left = Side(s.left, s.leftSize, s.left.empty() ? -1.0 : s.leftTime);
        row->Right = Side(s.right, s.rightSize, s.right.empty() ? -1.0 : s.rightTime);
        row->Status = s.status;
        rows.push_back(std::move(row));
    }
    return rows;
}

// The order as "left|right" names.
std::vector<std::string> Order(const std::vector<std::unique_ptr<TMyFileOpt>>& rows)
{
    std::vector<std::string> names;
    for (const auto& row : rows) {
        auto name = [](const kn::TKNFileRec& rec) {
            if (rec.Path.empty()) return std::string();
            return rec.IsFolder() ? rec.Path.str().substr(6) + "/" : rec.Name;
        };
        names.push_back(name(row->Left) + "|" + name(row->Right));
    }
    return names;
}

const std::vector<RowShape> kRows = {
    {"b.txt", 30, 100, kn::TKNStatus::Left, "", 0, 0},
    {"", 0, 0, kn::TKNStatus::Right, "z.txt", 5, 300},
    {"A.txt", 10, 200, kn::TKNStatus::Differ, "A.txt", 11, 200},
    {"dir/", 0, 50, kn::TKNStatus::Left, "", 0, 0},
    {"", 0, 0, kn::TKNStatus::Right, "y.txt", 7, 100},
    {"c.txt", 10, 100, kn::TKNStatus::Right, "c.txt", 12, 400},
    {"", 0, 0, kn::TKNStatus::Right, "adir/", 0, 10},
};

struct SortCase {
    const char* name;
    int column;
    int direction;
    std::vector<std::string> expected;
};

class ResultSort : public ::testing::TestWithParam<SortCase> {};

TEST_P(ResultSort, OrdersRowsAsTheColumnRuleSays)
{
    auto rows = MakeRows(kRows);
    kn::SortResultRows(rows, GetParam().column, GetParam().direction);
    EXPECT_EQ(Order(rows), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ResultSort,
    ::testing::Values(
        // Right-only rows stand among the left names by their right names; folders first.
        SortCase{
            "LeftNameAscending", 0, 1, {"|adir/", "dir/|", "A.txt|A.txt", "b.txt|", "c.txt|c.txt", "|y.txt", "|z.txt"}},
        SortCase{"LeftNameDescending",
                 0,
                 -1,
                 {"dir/|", "|adir/", "|z.txt", "|y.txt", "c.txt|c.txt", "b.txt|", "A.txt|A.txt"}},
        // Absent left sizes count as 0 and tie; then the names decide, a right-only row's its own.
        SortCase{
            "LeftSizeAscending", 1, 1, {"|adir/", "dir/|", "|y.txt", "|z.txt", "A.txt|A.txt", "c.txt|c.txt", "b.txt|"}},
        SortCase{"LeftSizeDescending",
                 1,
                 -1,
                 {"dir/|", "|adir/", "b.txt|", "c.txt|c.txt", "A.txt|A.txt", "|z.txt", "|y.txt"}},
        // An absent right time comes first; a left-only folder stays among the folders.
        SortCase{"RightTimeAscending",
                 4,
                 1,
                 {"dir/|", "|adir/", "b.txt|", "|y.txt", "A.txt|A.txt", "|z.txt", "c.txt|c.txt"}},
        SortCase{
            "StatusAscending", 3, 1, {"dir/|", "b.txt|", "|adir/", "c.txt|c.txt", "|y.txt", "|z.txt", "A.txt|A.txt"}},
        SortCase{"RightNameDescending",
                 6,
                 -1,
                 {"dir/|", "|adir/", "|z.txt", "|y.txt", "c.txt|c.txt", "b.txt|", "A.txt|A.txt"}}),
    [](const ::testing::TestParamInfo<SortCase>& param) { return std::string(param.param.name); });

TEST(ResultSortRules, AnUnknownColumnLeavesRowsEqualAndSortingDoesNothing)
{
    auto rows = MakeRows(kRows);
    EXPECT_EQ(kn::CompareResultRows(*rows[0], *rows[1], 7, 1), 0);
    std::vector<std::string> before = Order(rows);
    kn::SortResultRows(rows, -1, 1);
    EXPECT_EQ(Order(rows), before);
}

// The two roots differ, as they do in every real comparison: a right-only row is placed by its
// name below the right root, among the left names below theirs, by left name and by status.
TEST(ResultSortRules, AOneSidedRowSitsAmongItsNeighboursWhateverTheRoots)
{
    auto rows = MakeRows({{"", 0, 0, kn::TKNStatus::Right, "c.txt", 1, 1},
                          {"d.txt", 1, 1, kn::TKNStatus::Left, "", 0, 0},
                          {"b.txt", 1, 1, kn::TKNStatus::Differ, "b.txt", 2, 1},
                          {"", 0, 0, kn::TKNStatus::Right, "a.txt", 1, 1}});
    for (auto& row : rows)
        if (!row->Right.Path.empty()) row->Right.Path = "/home/other" + row->Right.Path.str();
    const kn::TKNResultRoots roots{5, 16};  // "/root" and "/home/other/root"
    kn::SortResultRows(rows, 0, 1, roots);
    EXPECT_EQ(Order(rows), (std::vector<std::string>{"|a.txt", "b.txt|b.txt", "|c.txt", "d.txt|"}));
    kn::SortResultRows(rows, 6, -1, roots);
    EXPECT_EQ(Order(rows), (std::vector<std::string>{"d.txt|", "|c.txt", "b.txt|b.txt", "|a.txt"}));
}

TEST(ResultSortRules, NamesCompareWithAsciiFoldingAndAPrefixFirst)
{
    auto rows = MakeRows({{"abc", 1, 1, kn::TKNStatus::Left, "", 0, 0},
                          {"ABCD", 1, 1, kn::TKNStatus::Left, "", 0, 0},
                          {"ab", 1, 1, kn::TKNStatus::Left, "", 0, 0}});
    kn::SortResultRows(rows, 0, 1);
    EXPECT_EQ(Order(rows), (std::vector<std::string>{"ab|", "abc|", "ABCD|"}));
}

}  // namespace

namespace {

// The roots of RandomRows: "/r" on the left, "/other/r" on the right.
const kn::TKNResultRoots kRandomRoots{2, 8};

// Random rows with long shared name prefixes, letter-case variants, folders and absent sides;
// the two sides' roots differ, so names compare only below them.
std::vector<std::unique_ptr<TMyFileOpt>> RandomRows(int count, unsigned seed)
{
    std::mt19937 random(seed);
    const char* folders[] = {"/r", "/r/Sub", "/r/sub", "/r/a-very-long-folder-name-beyond-sixteen"};
    std::vector<kn::TKNSharedText> paths[2];
    for (const char* folder : folders) {
        paths[0].emplace_back(folder);
        paths[1].emplace_back(std::string("/other") + folder);
    }
    auto entry = [&](int side) {
        kn::TKNFileRec rec;
        if (random() % 5 == 0) return rec;
        rec.Path = paths[side][random() % std::size(folders)];
        if (random() % 6 == 0) {
            rec.Attr = kn::faDirectory;
        } else {
            std::string name = "common-prefix-of-names-";
            name.resize(random() % name.size());
            name += static_cast<char>(random() % 2 ? 'a' + random() % 3 : 'A' + random() % 3);
            rec.Name = name;
            rec.Attr = kn::faArchive;
        }
        rec.Size = static_cast<int64_t>(random() % 4);
        rec.Time = 45000.0 + random() % 3;
        return rec;
    };
    std::vector<std::unique_ptr<TMyFileOpt>> rows;
    for (int i = 0; i < count; ++i) {
        auto row = std::make_unique<TMyFileOpt>();
        row->Left = entry(0);
        row->Right = entry(1);
        row->Status = static_cast<kn::TKNStatus>(random() % 3);
        rows.push_back(std::move(row));
    }
    return rows;
}

TEST(ResultSortRules, TheSortedOrderAgreesWithTheRowComparisonOnEveryColumn)
{
    for (int column = 0; column < kn::kResultColumnCount; ++column)
        for (int direction : {1, -1}) {
            auto rows = RandomRows(3000, static_cast<unsigned>(column * 2 + (direction > 0)));
            kn::SortResultRows(rows, column, direction, kRandomRoots);
            ASSERT_EQ(rows.size(), 3000u);
            for (size_t i = 1; i < rows.size(); ++i)
                ASSERT_LE(kn::CompareResultRows(*rows[i - 1], *rows[i], column, direction, kRandomRoots), 0)
                    << "column " << column << " direction " << direction << " rows " << i - 1 << ", " << i;
        }
}

}  // namespace

namespace {

// Fails at the first neighbours out of the column's order.
void ExpectOrdered(const std::vector<std::unique_ptr<TMyFileOpt>>& rows, int column, int direction,
                   const kn::TKNResultRoots& roots = kRandomRoots)
{
    for (size_t i = 1; i < rows.size(); ++i)
        ASSERT_LE(kn::CompareResultRows(*rows[i - 1], *rows[i], column, direction, roots), 0)
            << "column " << column << " direction " << direction << " rows " << i - 1 << ", " << i;
}

// One sorter re-sorting the same rows by one column after another: what it kept from the sorts
// before (where each row stands, each side's ranks) has to follow the rows every time.
TEST(ResultSorter, ReSortsAgreeWithTheRowComparisonWhateverCameBefore)
{
    auto rows = RandomRows(2000, 7);
    kn::TKNResultSorter sorter;
    const int sequence[][2] = {{0, 1},  {4, -1}, {4, 1}, {3, -1}, {1, 1},  {6, -1}, {2, 1},
                               {5, -1}, {0, -1}, {3, 1}, {5, 1},  {1, -1}, {2, -1}, {6, 1}};
    for (const auto& [column, direction] : sequence) {
        sorter.Sort(rows, column, direction, kRandomRoots);
        ASSERT_EQ(rows.size(), 2000u);
        ExpectOrdered(rows, column, direction);
    }
}

TEST(ResultSorter, ANewResultIsNeverSortedByWhatTheLastOneTaught)
{
    kn::TKNResultSorter sorter;
    auto rows = RandomRows(500, 1);
    sorter.Sort(rows, 1, 1, kRandomRoots);
    // Other row objects: taken as a new result.
    auto fresh = RandomRows(500, 2);
    sorter.Sort(fresh, 1, 1, kRandomRoots);
    ExpectOrdered(fresh, 1, 1);
    // Rows put in another order behind the sorter's back.
    std::reverse(fresh.begin(), fresh.end());
    sorter.Sort(fresh, 1, -1, kRandomRoots);
    ExpectOrdered(fresh, 1, -1);
    // The same objects with new contents, as a new result may reuse the old rows' memory.
    for (auto& row : fresh) std::swap(row->Left, row->Right);
    sorter.Forget();
    const kn::TKNResultRoots swapped{kRandomRoots.Right, kRandomRoots.Left};
    sorter.Sort(fresh, 0, 1, swapped);
    ExpectOrdered(fresh, 0, 1, swapped);
    // The same rows under other roots: the names below them are other names.
    sorter.Sort(fresh, 6, 1, {});
    ExpectOrdered(fresh, 6, 1, {});
}

}  // namespace

namespace {

// Names made of the characters around the letters' ranges (where a case fold done eight bytes
// at a time could slip), bytes above ASCII, and long names alike in their first 16 bytes.
TEST(ResultSorter, NamesAroundTheLetterRangesSortAsTheRowComparisonSays)
{
    const std::vector<std::string> pieces = {"`", "a", "z", "{", "@", "A", "Z", "[", "_", "~", "\xc3\xa9", "0"};
    std::vector<RowShape> shapes;
    for (const std::string& a : pieces)
        for (const std::string& b : pieces) {
            shapes.push_back({a + b, 1, 1, kn::TKNStatus::Left, "", 0, 0});
            shapes.push_back({"", 0, 0, kn::TKNStatus::Right, "same-sixteen-byt" + b + a, 1, 1});
        }
    auto rows = MakeRows(shapes);
    kn::TKNResultSorter sorter;
    for (int column : {0, 6})
        for (int direction : {1, -1}) {
            sorter.Sort(rows, column, direction);
            ExpectOrdered(rows, column, direction, {});
        }
}

}  // namespace
