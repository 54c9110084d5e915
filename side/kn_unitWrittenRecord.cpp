#include "side/kn_unitWrittenRecord.h"

#include <sqlite3.h>
#include <unistd.h>

#include <mutex>
#include <unordered_map>

#include "framework/vex_unitProgramFolder.h"

namespace kn {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS written (location TEXT NOT NULL, folder TEXT NOT NULL, name TEXT NOT NULL,"
    " size INTEGER NOT NULL, version TEXT NOT NULL, server_mtime INTEGER NOT NULL, mtime INTEGER NOT NULL,"
    " nsec INTEGER NOT NULL, PRIMARY KEY (location, folder, name))";

// One connection for the process, reopened when the settings folder changes (tests point it
// elsewhere between runs).
class TRecord {
public:
    static TRecord& Shared()
    {
        static TRecord* record = new TRecord;
        return *record;
    }

    // Runs `use` on the open database under the lock; nothing when it cannot be opened, or,
    // unless `write`, when there is none yet (a comparison alone makes no file).
    template <class F>
    void With(bool write, F use)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string file = vex::ProgramFolder() + "/written.sqlite";
        if (!write && file != file_ && ::access(file.c_str(), F_OK) != 0) return;
        if (file != file_) {
            if (db_) sqlite3_close(db_);
            db_ = nullptr;
            file_ = file;
            if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                                nullptr) != SQLITE_OK ||
                sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
                sqlite3_close(db_);
                db_ = nullptr;
            } else {
                sqlite3_busy_timeout(db_, 5000);
            }
        }
        if (db_) use(db_);
    }

private:
    std::mutex mutex_;
    std::string file_;
    sqlite3* db_ = nullptr;
};

struct TStatement {
    TStatement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &Stmt, nullptr); }
    ~TStatement() { sqlite3_finalize(Stmt); }
    void Text(int i, const std::string& text) { sqlite3_bind_text(Stmt, i, text.c_str(), -1, SQLITE_TRANSIENT); }
    void Int(int i, int64_t value) { sqlite3_bind_int64(Stmt, i, value); }
    sqlite3_stmt* Stmt = nullptr;
};

}  // namespace

void RememberWritten(const std::string& location, const TKNSidePath& path, const TKNSideEntry& written, int64_t mtime,
                     int32_t nsec)
{
    RememberWrittenRows(location, {TKNWrittenRow{path, written, mtime, nsec}});
}

void RememberWrittenRows(const std::string& location, const std::vector<TKNWrittenRow>& rows)
{
    if (rows.empty()) return;
    TRecord::Shared().With(true, [&](sqlite3* db) {
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        TStatement s(db, "INSERT OR REPLACE INTO written VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        for (const TKNWrittenRow& row : rows) {
            sqlite3_reset(s.Stmt);
            s.Text(1, location);
            s.Text(2, row.Path.Parent().Text());
            s.Text(3, row.Path.Leaf());
            s.Int(4, row.Written.Size);
            s.Text(5, row.Written.Version);
            s.Int(6, row.Written.MTime);
            s.Int(7, row.MTime);
            s.Int(8, row.Nsec);
            sqlite3_step(s.Stmt);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    });
}

std::vector<bool> RecallWritten(const std::string& location, const TKNSidePath& folder,
                                std::vector<TKNSideEntry>& entries, bool serverTimeToo)
{
    std::vector<bool> recalled(entries.size(), false);
    if (entries.empty()) return recalled;
    // By name: a folder of many thousand objects is matched in one pass.
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < entries.size(); ++i) index.emplace(entries[i].Name, i);
    TRecord::Shared().With(false, [&](sqlite3* db) {
        TStatement s(db,
                     "SELECT name, size, version, server_mtime, mtime, nsec FROM written"
                     " WHERE location = ? AND folder = ?");
        s.Text(1, location);
        s.Text(2, folder.Text());
        while (sqlite3_step(s.Stmt) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(s.Stmt, 0));
            const std::string version = reinterpret_cast<const char*>(sqlite3_column_text(s.Stmt, 2));
            const auto at = index.find(name);
            if (at == index.end()) continue;
            const std::size_t i = at->second;
            TKNSideEntry& entry = entries[i];
            if (entry.Size != sqlite3_column_int64(s.Stmt, 1) || entry.Version != version) continue;
            if ((version.empty() || serverTimeToo) && entry.MTime != sqlite3_column_int64(s.Stmt, 3)) continue;
            entry.MTime = sqlite3_column_int64(s.Stmt, 4);
            entry.MTimeNsec = static_cast<int32_t>(sqlite3_column_int64(s.Stmt, 5));
            recalled[i] = true;
        }
    });
    return recalled;
}

void ForgetWritten(const std::string& location, const TKNSidePath& path)
{
    TRecord::Shared().With(false, [&](sqlite3* db) {
        TStatement s(db, "DELETE FROM written WHERE location = ? AND folder = ? AND name = ?");
        s.Text(1, location);
        s.Text(2, path.Parent().Text());
        s.Text(3, path.Leaf());
        sqlite3_step(s.Stmt);
    });
}

void MoveWritten(const std::string& location, const TKNSidePath& from, const TKNSidePath& to)
{
    TRecord::Shared().With(false, [&](sqlite3* db) {
        TStatement s(
            db, "UPDATE OR REPLACE written SET folder = ?, name = ? WHERE location = ? AND folder = ? AND name = ?");
        s.Text(1, to.Parent().Text());
        s.Text(2, to.Leaf());
        s.Text(3, location);
        s.Text(4, from.Parent().Text());
        s.Text(5, from.Leaf());
        sqlite3_step(s.Stmt);
    });
}

}  // namespace kn
