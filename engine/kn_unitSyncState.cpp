#include "engine/kn_unitSyncState.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "engine/kn_unitCompare.h"
#include "framework/vex_unitPathBeneath.h"
#include "framework/vex_unitProgramFolder.h"
#include "framework/vex_unitText.h"

namespace kn {

namespace {

// One line of the options text.
void Line(std::string& text, const char* name, const std::string& value)
{
    text += name;
    text += '=';
    text += value;
    text += '\n';
}

std::string Number(double value)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.6f", value);
    return buffer;
}

std::string JoinedFilter(std::string_view text)
{
    std::string joined;
    for (const std::string& pattern : ParseFilter(text)) joined += (joined.empty() ? "" : ";") + pattern;
    return joined;
}

std::string RootText(std::string_view location)
{
    std::string root(location);
    if (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
    return HideLocationPasswords(root);
}

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS pairs(id INTEGER PRIMARY KEY, left TEXT NOT NULL, right TEXT NOT NULL,"
    " options TEXT NOT NULL, UNIQUE(left, right, options));"
    "CREATE TABLE IF NOT EXISTS entries(pair INTEGER NOT NULL, path TEXT NOT NULL, kind INTEGER NOT NULL,"
    " l_size INTEGER, l_mtime INTEGER, l_step INTEGER, l_mode INTEGER, l_mode_known INTEGER, l_attr INTEGER,"
    " l_inode INTEGER, l_hash TEXT,"
    " r_size INTEGER, r_mtime INTEGER, r_step INTEGER, r_mode INTEGER, r_mode_known INTEGER, r_attr INTEGER,"
    " r_inode INTEGER, r_hash TEXT, PRIMARY KEY(pair, path)) WITHOUT ROWID;";

// Columns added since the first layout; a state written before them reads them as NULL (not
// known), so its records are compared as precisely as they were made.
const char* const kAddedColumns[] = {"l_nsec", "l_ctime", "l_ctime_nsec", "r_nsec", "r_ctime", "r_ctime_nsec"};
const char* const kAddedPairColumns[] = {"left_place", "right_place"};

// The side columns in the order both the insert and the select use them.
const char* const kColumns =
    "path, kind, l_size, l_mtime, l_step, l_mode, l_mode_known, l_attr, l_inode, l_hash, l_nsec, l_ctime, l_ctime_nsec,"
    " r_size, r_mtime, r_step, r_mode, r_mode_known, r_attr, r_inode, r_hash, r_nsec, r_ctime, r_ctime_nsec";
constexpr int kSideColumns = 11;

// A prepared statement, finalised with its scope.
class TStatement {
public:
    TStatement(sqlite3* db, const std::string& sql)
    {
        ok_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) == SQLITE_OK;
    }
    ~TStatement() { sqlite3_finalize(stmt_); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    bool Ok() const { return ok_; }
    sqlite3_stmt* operator*() const { return stmt_; }
    // The text stays where it is until the statement has run.
    void Text(int at, const std::string& text)
    {
        sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    void Int(int at, int64_t value) { sqlite3_bind_int64(stmt_, at, value); }
    void Null(int at) { sqlite3_bind_null(stmt_, at); }
    bool IsNull(int at) const { return sqlite3_column_type(stmt_, at) == SQLITE_NULL; }
    int Step() { return sqlite3_step(stmt_); }
    // Runs a statement that returns no rows, ready to be bound again.
    bool Run()
    {
        const bool done = Step() == SQLITE_DONE;
        sqlite3_reset(stmt_);
        return done;
    }
    int64_t Column(int at) const { return sqlite3_column_int64(stmt_, at); }
    std::string ColumnText(int at) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, at));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, at))) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

void BindSide(TStatement& s, int at, const TKNSideFacts& f)
{
    s.Int(at, f.Size);
    s.Int(at + 1, f.MTime);
    s.Int(at + 2, f.TimeStep);
    s.Int(at + 3, f.Mode);
    s.Int(at + 4, f.ModeKnown ? 1 : 0);
    s.Int(at + 5, f.Attr);
    s.Int(at + 6, static_cast<int64_t>(f.Inode));
    s.Text(at + 7, f.Hash);
    if (f.MTimeNsec >= 0)
        s.Int(at + 8, f.MTimeNsec);
    else
        s.Null(at + 8);
    s.Int(at + 9, f.CTime);
    s.Int(at + 10, f.CTimeNsec);
}

TKNSideFacts ReadSide(const TStatement& s, int at)
{
    TKNSideFacts f;
    f.Size = s.Column(at);
    f.MTime = s.Column(at + 1);
    f.TimeStep = static_cast<uint32_t>(s.Column(at + 2));
    f.Mode = static_cast<uint32_t>(s.Column(at + 3));
    f.ModeKnown = s.Column(at + 4) != 0;
    f.Attr = static_cast<uint32_t>(s.Column(at + 5));
    f.Inode = static_cast<uint64_t>(s.Column(at + 6));
    f.Hash = s.ColumnText(at + 7);
    f.MTimeNsec = s.IsNull(at + 8) ? -1 : static_cast<int32_t>(s.Column(at + 8));
    f.CTime = s.Column(at + 9);
    f.CTimeNsec = static_cast<int32_t>(s.Column(at + 10));
    return f;
}

}  // namespace

std::string StateOptionsText(const TKNOptionsRec& o)
{
    std::string text;
    Line(text, "filter", o.CheckFilter ? JoinedFilter(vex::GetField(o.Filter)) : JoinedFilter("*.*"));
    Line(text, "exclude", o.CheckFilter ? JoinedFilter(vex::GetField(o.ExcludeFilter)) : std::string());
    Line(text, "attributes", std::to_string(AttributeSetToMask(o.CheckAttr ? o.Attributes : kDefaultAttributeSet)));
    Line(text, "exclude-attributes", std::to_string(o.CheckAttr ? AttributeSetToMask(o.ExcludeAttributes) : 0));
    const bool dates = o.CheckDate != 0;
    Line(text, "begin", dates && o.BeginDate != vex::kNoTime ? Number(o.BeginDate) : "none");
    const bool openEnd = !dates || o.EndDate >= vex::Today() + kOpenEndDateDays;
    Line(text, "end", openEnd ? "none" : Number(o.EndDate));
    Line(text, "min-size", std::to_string(o.CheckSize ? o.MinSize : 0));
    Line(text, "max-size", std::to_string(o.CheckSize ? o.MaxSize : -1));
    Line(text, "recursive", o.Recursive ? "1" : "0");
    Line(text, "content", o.CompareContent ? "1" : "0");
    Line(text, "hours", std::to_string(std::min<int>(o.IgnoreHours, kMaxIgnoreHours)));
    return text;
}

TKNStateKey StateKeyOf(std::string_view left, std::string_view right, const TKNOptionsRec& options)
{
    return {RootText(left), RootText(right), StateOptionsText(options), {}, {}};
}

std::string DefaultStateFile()
{
    return vex::JoinPath(vex::ProgramFolder(), "Kestrune-state.sqlite");
}

std::string StateFileProblem(const std::string& stateFile, const std::string& root)
{
    if (IsRemotePath(root)) return {};
    const std::string folder = vex::CanonicalPath(vex::FolderOfPath(stateFile));
    const std::string tree = vex::CanonicalPath(root);
    if (folder.empty() || tree.empty() || (folder != tree && !vex::PathLiesBeneath(folder, tree))) return {};
    return "The state file \"" + stateFile + "\" would lie inside \"" + root +
           "\"; set KESTRUNE_HOME to a folder outside the compared trees.";
}

struct TKNSyncState::TImpl {
    sqlite3* Db = nullptr;
    std::string File;

    bool Fail(const std::string& what, std::string& error) const
    {
        error = what + " \"" + File + "\": " + (Db ? sqlite3_errmsg(Db) : "not open");
        return false;
    }
    bool Exec(const char* sql) { return sqlite3_exec(Db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    // The columns a state of an older layout lacks, added empty.
    bool AddColumns()
    {
        auto add = [this](const char* table, const char* column, const char* type) {
            TStatement has(
                Db, std::string("SELECT 1 FROM pragma_table_info('") + table + "') WHERE name = '" + column + "'");
            if (!has.Ok()) return false;
            if (has.Step() == SQLITE_ROW) return true;
            return Exec((std::string("ALTER TABLE ") + table + " ADD COLUMN " + column + " " + type).c_str());
        };
        for (const char* column : kAddedColumns)
            if (!add("entries", column, "INTEGER")) return false;
        for (const char* column : kAddedPairColumns)
            if (!add("pairs", column, "TEXT")) return false;
        return true;
    }
    // The id of the pair row of (left, right, options); 0 when there is none.
    int64_t PairId(const std::string& left, const std::string& right, const std::string& options)
    {
        TStatement s(Db, "SELECT id FROM pairs WHERE left = ?1 AND right = ?2 AND options = ?3");
        s.Text(1, left);
        s.Text(2, right);
        s.Text(3, options);
        return s.Ok() && s.Step() == SQLITE_ROW ? s.Column(0) : 0;
    }
    bool HasRoots(const TKNStateKey& key)
    {
        TStatement s(Db, "SELECT 1 FROM pairs WHERE (left = ?1 AND right = ?2) OR (left = ?2 AND right = ?1)");
        s.Text(1, key.Left);
        s.Text(2, key.Right);
        return s.Ok() && s.Step() == SQLITE_ROW;
    }
    // The pair row of `key`, made when missing: a pair kept the other way round turns into it.
    int64_t OwnPair(const TKNStateKey& key)
    {
        if (int64_t id = PairId(key.Left, key.Right, key.Options)) return id;
        if (int64_t swapped = PairId(key.Right, key.Left, key.Options)) {
            TStatement pair(Db, "UPDATE pairs SET left = right, right = left WHERE id = ?1");
            TStatement rows(Db,
                            "UPDATE entries SET l_size = r_size, l_mtime = r_mtime, l_step = r_step, l_mode = r_mode,"
                            " l_mode_known = r_mode_known, l_attr = r_attr, l_inode = r_inode, l_hash = r_hash,"
                            " l_nsec = r_nsec, l_ctime = r_ctime, l_ctime_nsec = r_ctime_nsec,"
                            " r_size = l_size, r_mtime = l_mtime, r_step = l_step, r_mode = l_mode,"
                            " r_mode_known = l_mode_known, r_attr = l_attr, r_inode = l_inode, r_hash = l_hash,"
                            " r_nsec = l_nsec, r_ctime = l_ctime, r_ctime_nsec = l_ctime_nsec"
                            " WHERE pair = ?1");
            pair.Int(1, swapped);
            rows.Int(1, swapped);
            return pair.Ok() && rows.Ok() && pair.Run() && rows.Run() ? swapped : 0;
        }
        TStatement s(Db, "INSERT INTO pairs(left, right, options) VALUES (?1, ?2, ?3)");
        s.Text(1, key.Left);
        s.Text(2, key.Right);
        s.Text(3, key.Options);
        return s.Ok() && s.Run() ? sqlite3_last_insert_rowid(Db) : 0;
    }
    // Where the pair's roots are now, for a folder made anew there.
    bool Place(int64_t pair, const TKNStateKey& key)
    {
        TStatement s(Db, "UPDATE pairs SET left_place = ?2, right_place = ?3 WHERE id = ?1");
        s.Int(1, pair);
        s.Text(2, key.LeftPlace);
        s.Text(3, key.RightPlace);
        return s.Ok() && s.Run();
    }
    // The pairs kept where the columns `l` and `r` hold `fromLeft` and `fromRight` (either way
    // round, any options) take `to`'s roots, unless `to`'s roots have a state already.
    bool Rekey(const char* l, const char* r, const std::string& fromLeft, const std::string& fromRight,
               const TKNStateKey& to)
    {
        if (fromLeft.empty() || fromRight.empty() || HasRoots(to)) return true;
        const std::string cl(l), cr(r);
        TStatement s(Db, "UPDATE pairs SET left = CASE WHEN " + cl + " = ?1 THEN ?3 ELSE ?4 END, right = CASE WHEN " +
                             cr + " = ?2 THEN ?4 ELSE ?3 END WHERE (" + cl + " = ?1 AND " + cr + " = ?2) OR (" + cl +
                             " = ?2 AND " + cr + " = ?1)");
        s.Text(1, fromLeft);
        s.Text(2, fromRight);
        s.Text(3, to.Left);
        s.Text(4, to.Right);
        return s.Ok() && s.Run();
    }
    bool Write(int64_t pair, const std::vector<TKNStateEntry>& records, const std::vector<std::string>& forget)
    {
        // A path and everything beneath it: "p" itself and the range "p/" .. "p0" ("0" follows "/").
        TStatement drop(Db, "DELETE FROM entries WHERE pair = ?1 AND (path = ?2 OR (path >= ?3 AND path < ?4))");
        std::string values = "?1";
        for (int i = 2; i <= 3 + 2 * kSideColumns; ++i) values += ", ?" + std::to_string(i);
        TStatement put(Db,
                       std::string("INSERT OR REPLACE INTO entries(pair, ") + kColumns + ") VALUES (" + values + ")");
        if (!drop.Ok() || !put.Ok()) return false;
        for (const std::string& path : forget) {
            const std::string first = path + "/", end = path + "0";
            drop.Int(1, pair);
            drop.Text(2, path);
            drop.Text(3, first);
            drop.Text(4, end);
            if (!drop.Run()) return false;
        }
        for (const TKNStateEntry& e : records) {
            put.Int(1, pair);
            put.Text(2, e.Path);
            put.Int(3, static_cast<int>(e.Kind));
            BindSide(put, 4, e.Left);
            BindSide(put, 4 + kSideColumns, e.Right);
            if (!put.Run()) return false;
        }
        return true;
    }
};

TKNSyncState::TKNSyncState() : impl_(std::make_unique<TImpl>()) {}

TKNSyncState::~TKNSyncState()
{
    Close();
}

void TKNSyncState::Close()
{
    sqlite3_close(impl_->Db);
    impl_->Db = nullptr;
}

bool TKNSyncState::Open(const std::string& file, std::string& error)
{
    Close();
    impl_->File = file;
    // Made private before SQLite opens it: the state names the user's folders and servers.
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "Cannot open the state file \"" + file + "\"";
        return false;
    }
    ::close(fd);
    if (sqlite3_open_v2(file.c_str(), &impl_->Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK) {
        impl_->Fail("Cannot open the state file", error);
        Close();
        return false;
    }
    sqlite3_busy_timeout(impl_->Db, 10000);
    // A whole state is read and written at once: a larger page cache, and reads through a map.
    if (!impl_->Exec("PRAGMA journal_mode=WAL") || !impl_->Exec("PRAGMA synchronous=FULL") ||
        !impl_->Exec("PRAGMA cache_size=-16384") || !impl_->Exec("PRAGMA mmap_size=268435456") ||
        !impl_->Exec(kSchema) || !impl_->AddColumns()) {
        impl_->Fail("Cannot set up the state file", error);
        Close();
        return false;
    }
    return true;
}

bool TKNSyncState::Load(const TKNStateKey& key, TKNStateMatch& match, std::vector<TKNStateEntry>& entries,
                        std::string& error, const TKNStateKey* former)
{
    entries.clear();
    match = TKNStateMatch::None;
    if (!impl_->Db) return impl_->Fail("Cannot read the state file", error);
    if (!impl_->Rekey("left_place", "right_place", key.LeftPlace, key.RightPlace, key) ||
        (former && !impl_->Rekey("left", "right", former->Left, former->Right, key)))
        return impl_->Fail("Cannot read the state file", error);
    int64_t pair = impl_->PairId(key.Left, key.Right, key.Options);
    bool swapped = false;
    if (pair == 0 && (pair = impl_->PairId(key.Right, key.Left, key.Options)) != 0) swapped = true;
    if (pair == 0) {
        match = impl_->HasRoots(key) ? TKNStateMatch::OtherOptions : TKNStateMatch::None;
        return true;
    }
    TStatement count(impl_->Db, "SELECT count(*) FROM entries WHERE pair = ?1");
    TStatement s(impl_->Db, std::string("SELECT ") + kColumns + " FROM entries WHERE pair = ?1 ORDER BY path");
    if (!count.Ok() || !s.Ok()) return impl_->Fail("Cannot read the state file", error);
    count.Int(1, pair);
    if (count.Step() == SQLITE_ROW) entries.reserve(static_cast<std::size_t>(count.Column(0)));
    s.Int(1, pair);
    int step;
    while ((step = s.Step()) == SQLITE_ROW) {
        TKNStateEntry& e = entries.emplace_back();
        e.Path = s.ColumnText(0);
        e.Kind = static_cast<TKNEntryKind>(s.Column(1));
        e.Left = ReadSide(s, 2);
        e.Right = ReadSide(s, 2 + kSideColumns);
        if (swapped) std::swap(e.Left, e.Right);
    }
    if (step != SQLITE_DONE) {
        entries.clear();
        return impl_->Fail("Cannot read the state file", error);
    }
    match = swapped ? TKNStateMatch::Swapped : TKNStateMatch::Same;
    return true;
}

bool TKNSyncState::Apply(const TKNStateKey& key, const std::vector<TKNStateEntry>& records,
                         const std::vector<std::string>& forget, std::string& error)
{
    if (!impl_->Db) return impl_->Fail("Cannot write the state file", error);
    if (!impl_->Exec("BEGIN IMMEDIATE")) return impl_->Fail("Cannot write the state file", error);
    const int64_t pair = impl_->OwnPair(key);
    if (pair == 0 || !impl_->Place(pair, key) || !impl_->Write(pair, records, forget) || !impl_->Exec("COMMIT")) {
        impl_->Fail("Cannot write the state file", error);
        impl_->Exec("ROLLBACK");
        return false;
    }
    return true;
}

}  // namespace kn
