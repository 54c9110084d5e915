#include "engine/kn_unitRunLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>
#include <thread>

#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitProgramFolder.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

constexpr std::string_view kTagDigits = "abcdefghijklmnopqrstuvwxyz0123456789";

// FNV-1a, 64 bits: names a pair, no secret.
uint64_t Hash(std::string_view text)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h;
}

std::string PairText(const std::string& left, const std::string& right)
{
    return left < right ? left + '\n' + right : right + '\n' + left;
}

std::string TagOf(uint64_t hash)
{
    std::string tag;
    for (std::size_t i = 0; i < kTempTagLength; ++i, hash /= kTagDigits.size())
        tag += kTagDigits[hash % kTagDigits.size()];
    return tag;
}

// The pairs whose locks this process holds, and their tags.
std::mutex heldLock;
std::set<uint64_t> heldPairs;
std::multiset<std::string> heldTags;

bool LockFolder(std::string& folder, std::string& error)
{
    if (!vex::PrivateTempFolder(folder, error)) return false;
    folder += "/locks";
    if (!vex::MakeFolders(folder, 0700)) {
        error = "Cannot make the folder of the run locks \"" + folder + "\"";
        return false;
    }
    return true;
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[512];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// "process 1234, started 2024-01-02 03:04:05: L <-> R" of the run holding it.
void WriteHolder(int fd, const std::string& shown)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const std::string text = "process " + std::to_string(getpid()) + ", started " + stamp + ": " + shown;
    if (ftruncate(fd, 0) == 0) {
        lseek(fd, 0, SEEK_SET);
        if (write(fd, text.data(), text.size()) < 0) {
            // The lock holds without its description.
        }
    }
}

}  // namespace

std::string RunTagOf(const std::string& left, const std::string& right)
{
    return TagOf(Hash(PairText(left, right)));
}

std::unique_ptr<TKNRunLock> TKNRunLock::Take(const std::string& left, const std::string& right,
                                             const std::string& shown, bool wait, const std::function<bool()>& stopped,
                                             std::string& refusal)
{
    std::string folder;
    if (!LockFolder(folder, refusal)) return nullptr;
    const uint64_t hash = Hash(PairText(left, right));
    const std::string tag = TagOf(hash);
    char name[64];
    std::snprintf(name, sizeof name, "/run-%s-%016llx.lock", tag.c_str(), static_cast<unsigned long long>(hash));
    const int fd = open((folder + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        refusal = "Cannot open the run lock \"" + folder + name + "\": " + vex::ErrorText(errno);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(heldLock);
        // A second run of the pair in this process: flock would let it in on the same file.
        if (heldPairs.count(hash) && !wait) {
            close(fd);
            refusal = "Another run of these folders is in progress in this program.";
            return nullptr;
        }
    }
    for (bool told = false;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::lock_guard<std::mutex> lock(heldLock);
            if (heldPairs.insert(hash).second) {
                heldTags.insert(tag);
                break;
            }
            flock(fd, LOCK_UN);
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
            refusal = "Cannot take the run lock \"" + folder + name + "\": " + vex::ErrorText(errno);
            close(fd);
            return nullptr;
        }
        if (!told) refusal = "Another run of these folders is in progress (" + ReadAll(fd) + ").";
        told = true;
        if (!wait || (stopped && stopped())) {
            close(fd);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    refusal.clear();
    WriteHolder(fd, shown);
    return std::unique_ptr<TKNRunLock>(new TKNRunLock(fd, tag, hash));
}

TKNRunLock::~TKNRunLock()
{
    {
        std::lock_guard<std::mutex> lock(heldLock);
        heldPairs.erase(pair_);
        heldTags.erase(heldTags.find(tag_));
    }
    flock(fd_, LOCK_UN);
    close(fd_);
}

bool TempOfRunInProgress(std::string_view name)
{
    const std::string tag = TempTagOf(name);
    if (tag.empty()) return false;
    {
        std::lock_guard<std::mutex> lock(heldLock);
        if (heldTags.count(tag)) return false;
    }
    std::string folder, error;
    if (!LockFolder(folder, error)) return false;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    const std::string prefix = "run-" + tag + "-";
    bool inProgress = false;
    while (dirent* d = readdir(dir)) {
        if (std::string_view(d->d_name).substr(0, prefix.size()) != prefix) continue;
        const int fd = openat(dirfd(dir), d->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        if (flock(fd, LOCK_SH | LOCK_NB) == 0)
            flock(fd, LOCK_UN);
        else if (errno == EWOULDBLOCK)
            inProgress = true;
        close(fd);
    }
    closedir(dir);
    return inProgress;
}

}  // namespace kn
