// Temporary folder trees for tests that touch the real file system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace testutil {

// A fresh folder under $TMPDIR, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // `rel` joined to the folder with "/".
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

// Writes `content` to `path`, creating missing parent folders.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Creates the folder and its missing parents.
void MakeDirs(const std::string& path);
// Sets the last-write (and access) time to `unixSeconds`.
void SetMTime(const std::string& path, int64_t unixSeconds);
// Removes a tree; links are removed, never followed.
void RemoveTree(const std::string& path);

// The user and group an unprivileged test process runs as.
constexpr unsigned kUnprivilegedId = 65534;
// Runs `body` in a child process that has given up root (permissions bind only then); the
// result is body's (0 for success), 99 when root could not be given up. Run as an ordinary
// user, the child keeps that user.
int RunUnprivileged(const std::function<int()>& body);
// When running as root, hands the tree (every entry, links themselves) to kUnprivilegedId, so
// that an unprivileged child may change it.
void GiveToUnprivileged(const std::string& path);

// Two trees "L" and "R" in one temporary folder, filled with entries of a chosen time
// (by default 2020-01-01 10:00:00 UTC).
struct TwoTrees {
    static constexpr int64_t kDefaultTime = 1577872800;
    TempDir dir;
    std::string left = dir / "L";
    std::string right = dir / "R";
    TwoTrees();
    // `side` is `left` or `right`; `rel` is relative to it.
    void File(const std::string& side, const std::string& rel, const std::string& content,
              int64_t mtime = kDefaultTime);
    void Folder(const std::string& side, const std::string& rel, int64_t mtime = kDefaultTime);
};

}  // namespace testutil
