#include "diff/kn_unitTextFile.h"

#include "diff/kn_unitDiff.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kn {

std::vector<std::string_view> SplitTextLineViews(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        lines.push_back(text.substr(start, end - start));
        if (end == text.size())
            break;
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::vector<std::string> SplitTextLines(std::string_view text)
{
    const std::vector<std::string_view> views = SplitTextLineViews(text);
    return std::vector<std::string>(views.begin(), views.end());
}

namespace {

// Reads straight into the string; a regular file's size is only a first guess, since the
// file may grow or shrink while it is read.
bool ReadWholeFile(int fd, std::string& content)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    size_t used = 0;
    content.resize(S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536);
    for (;;) {
        if (used == content.size())
            content.resize(content.size() * 2);
        ssize_t got = read(fd, content.data() + used, content.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        used += static_cast<size_t>(got);
    }
    content.resize(used);
    return true;
}

}  // namespace

bool ReadTextFile(const std::string& fileName, std::string& content, std::string& errorText)
{
    content.clear();
    int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errorText = std::strerror(errno);
        return false;
    }
    bool ok = ReadWholeFile(fd, content);
    int savedErrno = errno;
    close(fd);
    if (!ok) {
        content.clear();
        errorText = std::strerror(savedErrno);
        return false;
    }
    content.resize(std::min(content.size(), content.find('\0')));
    return true;
}

bool LoadTextLines(const std::string& fileName, std::vector<std::string>& lines, std::string& errorText)
{
    lines.clear();
    std::string content;
    if (!ReadTextFile(fileName, content, errorText))
        return false;
    lines = SplitTextLines(content);
    return true;
}

std::vector<uint32_t> HashLines(const std::vector<std::string_view>& lines)
{
    std::vector<uint32_t> hashes;
    hashes.reserve(lines.size());
    for (std::string_view line : lines)
        hashes.push_back(LineHash(line));
    return hashes;
}

}  // namespace kn
