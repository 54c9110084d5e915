#include "tests/update/update_harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/common/temp_tree.h"

namespace fs = std::filesystem;

namespace testutil {

std::map<std::string, std::string> Snapshot(const std::string& root)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string rel = it->path().string().substr(root.size() + 1);
        // Apache's WebDAV property store, kept beside the files it serves.
        if (it->path().filename() == ".DAV") {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st;
        lstat(it->path().c_str(), &st);
        std::string value;
        if (S_ISLNK(st.st_mode))
            value = "-> " + fs::read_symlink(it->path()).string();
        else if (S_ISDIR(st.st_mode))
            value = "<dir>";
        else if (S_ISREG(st.st_mode))
            value = ReadFile(it->path().string());
        else
            value = "<special>";
        if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) value += " (ro)";
        out[rel] = value;
    }
    return out;
}

void Age(const std::string& path, int seconds)
{
    SetMTime(path, 1500000000 + seconds);
}

void Put(const std::string& path, const std::string& content, int age)
{
    WriteFile(path, content);
    Age(path, age);
}

ProgramFolderHere::ProgramFolderHere()
{
    setenv("KESTRUNE_HOME", home.path().c_str(), 1);
}
ProgramFolderHere::~ProgramFolderHere()
{
    unsetenv("KESTRUNE_HOME");
}

std::vector<std::string> RowTexts(const kn::TKNFileCompare& engine)
{
    auto side = [](const kn::TKNFileRec& rec, int rootLen) {
        if (rec.Path.empty()) return std::string("-");
        return rec.Path.str().substr(static_cast<size_t>(rootLen)) + "|" + rec.Name + " " + std::to_string(rec.Size) +
               " " + std::to_string(rec.Time) + " " + std::to_string(rec.Attr);
    };
    std::vector<std::string> rows;
    for (const auto& row : engine.Items)
        rows.push_back(side(row->Left, engine.LeftRootLen) + " / " + side(row->Right, engine.RightRootLen) + " " +
                       std::to_string(static_cast<int>(row->Status)) + (row->Unlisted ? " unlisted" : ""));
    return rows;
}

UpdateHarness::UpdateHarness(const std::string& left, const std::string& right)
{
    engine.SetLeftFolder(left);
    engine.SetRightFolder(right);
    engine.OnUpdateProgress = [this](void*, const std::string& text, int position) {
        progress.push_back(text);
        positions.push_back(position);
        if (onProgress) onProgress(text);
    };
    engine.OnError = [this](void*, const std::string& message) { errors.push_back(message); };
    engine.OnNotice = [this](void*, const std::string& text) { notices.push_back(text); };
    engine.OnUpdateDone = [this](void*) { ++updateDone; };
    engine.OnProgress = [this](void*, uint8_t state, const std::string&) {
        if (state == 0) ++stateZeroReports;
    };
}

size_t UpdateHarness::Compare()
{
    engine.Compare(true);
    return engine.Items.size();
}

std::vector<int> UpdateHarness::AllRows() const
{
    std::vector<int> rows;
    for (size_t i = 0; i < engine.Items.size(); ++i) rows.push_back(static_cast<int>(i));
    return rows;
}

void UpdateHarness::Update(kn::TKNAction direction, bool force, bool backup)
{
    stateZeroReports = 0;  // count the update's own end report only
    engine.Update(direction, force, AllRows(), true, false, backup);
}

}  // namespace testutil
