// Temporary folder trees for tests that touch the real file system.
#pragma once

#include <cstdint>
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

}  // namespace testutil
