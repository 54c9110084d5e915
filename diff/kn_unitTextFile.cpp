#include "diff/kn_unitTextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "diff/kn_unitDiff.h"

namespace kn {

namespace {

// Room for the lines of `text`, from the breaks of its first 64 KiB and a little above: the
// list then rarely grows, and what is reserved beyond its end is never touched, so costs no
// memory. Texts of short lines are counted exactly, so that a head unlike the rest never
// reserves more than twice the text's size.
size_t ReservedLines(std::string_view text)
{
    const std::string_view head = text.substr(0, 65536);
    const auto breaks = static_cast<size_t>(std::count(head.begin(), head.end(), '\n'));
    const size_t estimate = (breaks + 1) * text.size() / head.size() * 9 / 8 + 16;
    if (estimate <= text.size() / 8) return estimate;
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

}  // namespace

// Breaks are found with memchr, the next CR kept until the scan passes it: most texts have
// none, or one at each line's end.
std::vector<std::string_view> SplitTextLineViews(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::vector<std::string_view> lines;
    if (text.empty()) return lines;
    lines.reserve(ReservedLines(text));
    const char *p = text.data(), *const end = p + text.size();
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', text.size()));
    while (p < end) {
        if (cr != nullptr && cr < p) cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>((cr ? cr : end) - p)));
        const char* lineEnd = lf ? lf : cr ? cr : end;
        lines.emplace_back(p, static_cast<size_t>(lineEnd - p));
        if (lineEnd == end) break;
        p = lineEnd + ((*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::vector<std::string> SplitTextLines(std::string_view text)
{
    const std::vector<std::string_view> views = SplitTextLineViews(text);
    return std::vector<std::string>(views.begin(), views.end());
}

namespace {

// Why a file that is not a regular file is not read, or nullptr for a regular file.
const char* NotRegularReason(mode_t mode)
{
    if (S_ISREG(mode)) return nullptr;
    if (S_ISDIR(mode)) return std::strerror(EISDIR);
    if (S_ISFIFO(mode)) return "Not a regular file but a named pipe.";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "Not a regular file but a device.";
    if (S_ISSOCK(mode)) return "Not a regular file but a socket.";
    return "Not a regular file.";
}

std::string TooLargeReason(uint64_t maxSize)
{
    return "The file is larger than the limit of " + FormatSizeLimit(maxSize) + ".";
}

// Reads straight into the string; the size is only a first guess, since the file may grow
// or shrink while it is read. Reads at most maxSize + 1 bytes, so growth past the limit shows.
bool ReadRegularFile(int fd, uint64_t size, uint64_t maxSize, std::string& content, std::string& errorText)
{
    const uint64_t cap = maxSize + 1;
    size_t used = 0;
    content.resize(static_cast<size_t>(std::min(size + 1, cap)));
    for (;;) {
        if (used == content.size()) {
            if (used >= cap) break;
            content.resize(static_cast<size_t>(std::min<uint64_t>(cap, std::max<uint64_t>(65536, used * 2))));
        }
        const ssize_t got = read(fd, content.data() + used, content.size() - used);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            errorText = std::strerror(errno);
            return false;
        }
        if (got == 0) break;
        used += static_cast<size_t>(got);
    }
    if (used > maxSize) {
        errorText = TooLargeReason(maxSize);
        return false;
    }
    content.resize(used);
    return true;
}

bool ReadOpenFile(int fd, uint64_t maxSize, std::string& content, std::string& errorText, TFileStamp& stamp)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        errorText = std::strerror(errno);
        return false;
    }
    stamp = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
             static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    if (const char* reason = NotRegularReason(st.st_mode)) {
        errorText = reason;
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > maxSize) {
        errorText = TooLargeReason(maxSize);
        return false;
    }
    return ReadRegularFile(fd, static_cast<uint64_t>(st.st_size), maxSize, content, errorText);
}

}  // namespace

std::string FormatSizeLimit(uint64_t bytes)
{
    const std::pair<uint64_t, const char*> units[] = {
        {uint64_t{1} << 40, "TiB"}, {1 << 30, "GiB"}, {1 << 20, "MiB"}, {1 << 10, "KiB"}};
    for (const auto& [unit, name] : units)
        if (bytes >= unit && bytes % unit == 0) return std::to_string(bytes / unit) + " " + name;
    return std::to_string(bytes) + " bytes";
}

bool ReadTextFile(const std::string& fileName, std::string& content, std::string& errorText, uint64_t maxSize)
{
    TFileStamp stamp;
    if (!ReadFileBytes(fileName, content, errorText, maxSize, stamp)) return false;
    content.resize(std::min(content.size(), content.find('\0')));
    return true;
}

bool ReadFileBytes(const std::string& fileName, std::string& content, std::string& errorText, uint64_t maxSize,
                   TFileStamp& stamp)
{
    content.clear();
    // O_NONBLOCK: opening a named pipe must not wait for a writer; the type is checked next.
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        errorText = std::strerror(errno);
        return false;
    }
    const bool ok = ReadOpenFile(fd, maxSize, content, errorText, stamp);
    close(fd);
    if (!ok) content = {};
    return ok;
}

bool LoadTextLines(const std::string& fileName, std::vector<std::string>& lines, std::string& errorText)
{
    lines.clear();
    std::string content;
    if (!ReadTextFile(fileName, content, errorText)) return false;
    lines = SplitTextLines(content);
    return true;
}

std::vector<uint32_t> HashLines(const std::vector<std::string_view>& lines)
{
    std::vector<uint32_t> hashes;
    hashes.reserve(lines.size());
    for (std::string_view line : lines) hashes.push_back(LineHash(line));
    return hashes;
}

}  // namespace kn
