#include "diff/kn_unitTextFile.h"

#include "diff/kn_unitDiff.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kn {

std::vector<std::string> SplitTextLines(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

namespace {

bool ReadWholeFile(int fd, std::string& content)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        content.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        content.append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace

bool LoadTextLines(const std::string& fileName, std::vector<std::string>& lines, std::string& errorText)
{
    lines.clear();
    int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errorText = std::strerror(errno);
        return false;
    }
    std::string content;
    bool ok = ReadWholeFile(fd, content);
    int savedErrno = errno;
    close(fd);
    if (!ok) {
        errorText = std::strerror(savedErrno);
        return false;
    }
    lines = SplitTextLines(content);
    return true;
}

std::vector<uint32_t> HashLines(const std::vector<std::string>& lines)
{
    std::vector<uint32_t> hashes;
    hashes.reserve(lines.size());
    for (const std::string& line : lines)
        hashes.push_back(LineHash(line));
    return hashes;
}

}  // namespace kn
