// A comparison engine wired for update tests: records every event, compares and updates while
// waiting, and reads a tree back as a map of relative paths.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitCompareUpdate.h"
#include "tests/common/temp_tree.h"

namespace testutil {

// Relative path -> content of a file, or "<dir>" for a folder; " (ro)" is appended to entries
// without owner write permission. Links are listed as "-> target". A WebDAV server's property
// store (".DAV") is left out.
std::map<std::string, std::string> Snapshot(const std::string& root);

// Sets `path`'s last-write time to a fixed moment plus `seconds`.
void Age(const std::string& path, int seconds);
// Writes `content` to `path` (making its folders) and ages it by `age` seconds.
void Put(const std::string& path, const std::string& content, int age);

// Every row of the engine's last result as one line: each side's relative path, size, time and
// attribute bits (or "-" where absent), the status and the unlisted mark.
std::vector<std::string> RowTexts(const kn::TKNFileCompare& engine);

// Points the program folder (where backups go) at a fresh folder while it exists.
struct ProgramFolderHere {
    TempDir home;
    ProgramFolderHere();
    ~ProgramFolderHere();
};

struct UpdateHarness {
    UpdateHarness(const std::string& left, const std::string& right);

    // Compares and returns the number of rows.
    size_t Compare();
    // Updates every row (in pairing order) and waits; no follow-up comparison.
    void Update(kn::TKNAction direction, bool force, bool backup = false);
    std::vector<int> AllRows() const;

    kn::TKNFileCompare engine;
    std::vector<std::string> progress;  // texts of OnUpdateProgress, in order
    std::vector<int> positions;         // positions of OnUpdateProgress
    std::vector<std::string> errors;    // messages of OnError
    std::vector<std::string> notices;   // texts of OnNotice
    int updateDone = 0;
    int stateZeroReports = 0;
    std::function<void(const std::string&)> onProgress;  // extra hook, e.g. to stop
};

}  // namespace testutil
