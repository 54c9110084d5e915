#include "framework/vex_unitProgramFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace vex {

namespace {

bool IsSet(const char* value)
{
    return value != nullptr && value[0] != 0;
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// True when `folder` is `tree` or lies beneath it; both without a trailing "/".
bool IsInside(const std::string& folder, const std::string& tree)
{
    if (tree.empty() || folder.compare(0, tree.size(), tree) != 0) return false;
    return folder.size() == tree.size() || folder[tree.size()] == '/' || tree == "/";
}

// A folder made earlier by this user for nobody else: a real directory (not a link), owned by
// the user, closed to group and others.
bool IsPrivateFolder(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool MakeFolders(const std::string& path, unsigned mode)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), mode)) return false;
    return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (IsSet(home)) return WithoutTrailingSlash(home);
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && IsSet(pw->pw_dir))
        return WithoutTrailingSlash(pw->pw_dir);
    return "/";
}

std::string ExecutableFolder()
{
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return ".";
    std::string exe(buf.data(), static_cast<std::size_t>(n));
    std::size_t slash = exe.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string ChooseProgramFolder(const ProgramFolderInputs& in)
{
    if (IsSet(in.kestruneHome)) {
        std::string folder = WithoutTrailingSlash(in.kestruneHome);
        MakeFolders(folder, 0755);
        return folder;
    }
    std::string exeFolder = WithoutTrailingSlash(in.exeFolder);
    if (IsRegularFile(JoinPath(exeFolder, "Kestrune.bin")) || IsInside(exeFolder, WithoutTrailingSlash(in.buildTree)))
        return exeFolder;
    std::string base =
        IsSet(in.xdgConfigHome) ? std::string(in.xdgConfigHome) : JoinPath(IsSet(in.home) ? in.home : "/", ".config");
    std::string folder = JoinPath(WithoutTrailingSlash(base), "kestrune");
    MakeFolders(folder, 0700);
    return folder;
}

std::string ProgramFolder()
{
    ProgramFolderInputs in;
    in.exeFolder = ExecutableFolder();
#ifdef KESTRUNE_BUILD_TREE
    in.buildTree = KESTRUNE_BUILD_TREE;
#endif
    in.kestruneHome = std::getenv("KESTRUNE_HOME");
    in.xdgConfigHome = std::getenv("XDG_CONFIG_HOME");
    std::string home = HomeFolder();
    in.home = home.c_str();
    return ChooseProgramFolder(in);
}

bool PrivateTempFolder(std::string& folder, std::string& error)
{
    static std::mutex guard;
    static std::string madeIn, made;
    std::lock_guard<std::mutex> lock(guard);
    const char* tmp = std::getenv("TMPDIR");
    std::string base = WithoutTrailingSlash(IsSet(tmp) ? tmp : "/tmp");
    if (base == madeIn && IsPrivateFolder(made)) {
        folder = made;
        return true;
    }
    std::string name = JoinPath(base, "kestrune-" + std::to_string(getuid()));
    if (mkdir(name.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Cannot create the temporary folder \"" + name + "\": " + std::strerror(errno);
        return false;
    }
    if (!IsPrivateFolder(name)) {
        // Someone else holds the expected name: take a fresh folder nobody can predict.
        std::string pattern = name + "-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back(0);
        if (mkdtemp(buf.data()) == nullptr) {
            error = "Cannot create a temporary folder in \"" + base + "\": " + std::strerror(errno);
            return false;
        }
        name = buf.data();
    }
    madeIn = base;
    made = name;
    folder = name;
    return true;
}

}  // namespace vex
