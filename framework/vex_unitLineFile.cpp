#include "framework/vex_unitLineFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace vex {

std::vector<std::string> ReadLines(const std::string& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool ReplaceFileText(const std::string& file, const std::string& text, std::string& error)
{
    // One name per writer of this process, and per process.
    static std::atomic<unsigned> written{0};
    const std::string temp = file + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(written++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    bool whole = fd >= 0;
    for (std::size_t done = 0; whole && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        whole = n > 0;
        if (whole) done += static_cast<std::size_t>(n);
    }
    whole = whole && ::fsync(fd) == 0;
    if (!whole) error = "Cannot write \"" + temp + "\": " + std::strerror(errno);
    if (fd >= 0 && ::close(fd) != 0 && whole) {
        whole = false;
        error = "Cannot write \"" + temp + "\": " + std::strerror(errno);
    }
    if (whole && ::rename(temp.c_str(), file.c_str()) != 0) {
        whole = false;
        error = "Cannot write \"" + file + "\": " + std::strerror(errno);
    }
    if (!whole) ::unlink(temp.c_str());
    return whole;
}

}  // namespace vex
