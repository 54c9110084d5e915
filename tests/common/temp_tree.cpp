#include "tests/common/temp_tree.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testutil {

TempDir::TempDir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrune-test-XXXXXX";
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

void WriteFile(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << content;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void MakeDirs(const std::string& path)
{
    fs::create_directories(path);
}

void SetMTime(const std::string& path, int64_t unixSeconds)
{
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixSeconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + path);
}

void RemoveTree(const std::string& path)
{
    std::error_code ec;
    // Read-only folders would stop the removal: give the owner write permission first.
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
}

int RunUnprivileged(const std::function<int()>& body)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 || setuid(kUnprivilegedId) != 0))
            _exit(99);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

void GiveToUnprivileged(const std::string& path)
{
    if (geteuid() != 0) return;
    lchown(path.c_str(), kUnprivilegedId, kUnprivilegedId);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId);
}

TwoTrees::TwoTrees()
{
    MakeDirs(left);
    MakeDirs(right);
}

void TwoTrees::File(const std::string& side, const std::string& rel, const std::string& content, int64_t mtime)
{
    WriteFile(side + "/" + rel, content);
    SetMTime(side + "/" + rel, mtime);
}

void TwoTrees::Folder(const std::string& side, const std::string& rel, int64_t mtime)
{
    MakeDirs(side + "/" + rel);
    SetMTime(side + "/" + rel, mtime);
}

}  // namespace testutil
