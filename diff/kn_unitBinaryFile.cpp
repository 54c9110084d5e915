#include "diff/kn_unitBinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <vector>

#include "diff/kn_unitTextEncoding.h"

namespace kn {

namespace {

// The size of the blocks read, and of the start by which a file is judged text or not.
constexpr std::size_t kBlockSize = 1 << 16;

bool EitherIsBinary(std::string_view leftStart, std::string_view rightStart)
{
    return !DetectTextFormat(leftStart.substr(0, kBlockSize)) || !DetectTextFormat(rightStart.substr(0, kBlockSize));
}

// An open file read in blocks; closes itself.
class TReader {
public:
    // O_NONBLOCK: a named pipe must not wait for a writer; anything but a regular file is
    // refused before a byte is read.
    explicit TReader(const std::string& fileName)
        : fd_(open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)), error_(fd_ < 0 ? errno : 0)
    {
        struct stat st {};
        if (fd_ >= 0 && (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            close(fd_);
            fd_ = -1;
        }
    }
    ~TReader()
    {
        if (fd_ >= 0) close(fd_);
    }
    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;

    // The reason of the last failure (of opening or reading).
    int Error() const { return error_; }
    // Fills `buffer` as far as the file goes; the count read, or -1 (see Error).
    ssize_t Fill(std::vector<char>& buffer)
    {
        if (fd_ < 0) return -1;
        size_t used = 0;
        while (used < buffer.size()) {
            const ssize_t got = read(fd_, buffer.data() + used, buffer.size() - used);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error_ = errno;
                return -1;
            }
            if (got == 0) break;
            used += static_cast<size_t>(got);
        }
        return static_cast<ssize_t>(used);
    }

private:
    int fd_;
    int error_;
};

// Both files from where they stand, block by block, to the first difference; false when a
// read fails. The blocks of the first round are already in `left` and `right`.
bool FindDifference(TReader& leftFile, TReader& rightFile, std::vector<char>& left, std::vector<char>& right,
                    ssize_t leftCount, ssize_t rightCount, TBinaryComparison& result)
{
    int64_t offset = 0;
    for (;;) {
        const size_t common = static_cast<size_t>(std::min(leftCount, rightCount));
        const auto mismatch = std::mismatch(left.begin(), left.begin() + static_cast<long>(common), right.begin());
        if (mismatch.first != left.begin() + static_cast<long>(common) || leftCount != rightCount) {
            result.FirstDifference = offset + (mismatch.first - left.begin());
            return true;
        }
        if (leftCount == 0) {
            result.Identical = true;
            return true;
        }
        offset += leftCount;
        leftCount = leftFile.Fill(left);
        rightCount = rightFile.Fill(right);
        if (leftCount < 0 || rightCount < 0) return false;
    }
}

}  // namespace

bool LooksBinary(std::string_view head)
{
    return head.substr(0, kBinaryProbeSize).find('\0') != std::string_view::npos;
}

bool CompareBinaryFiles(const std::string& leftFileName, const std::string& rightFileName, TBinaryComparison& result,
                        std::string& errorText)
{
    result = TBinaryComparison();
    TReader leftFile(leftFileName), rightFile(rightFileName);
    std::vector<char> left(kBlockSize), right(kBlockSize);
    const ssize_t leftCount = leftFile.Fill(left);
    const ssize_t rightCount = rightFile.Fill(right);
    for (auto [file, name, count] :
         {std::tuple{&leftFile, &leftFileName, leftCount}, std::tuple{&rightFile, &rightFileName, rightCount}}) {
        if (count < 0) {
            errorText = "Cannot read file \"" + *name + "\".\n" + std::strerror(file->Error());
            return false;
        }
    }
    result.Binary = EitherIsBinary(std::string_view(left.data(), static_cast<size_t>(leftCount)),
                                   std::string_view(right.data(), static_cast<size_t>(rightCount)));
    if (!result.Binary) return true;
    if (!FindDifference(leftFile, rightFile, left, right, leftCount, rightCount, result)) {
        const TReader& failed = leftFile.Error() != 0 ? leftFile : rightFile;
        errorText = std::string("Cannot read the files.\n") + std::strerror(failed.Error());
        return false;
    }
    return true;
}

TBinaryComparison CompareBinaryBytes(std::string_view left, std::string_view right)
{
    TBinaryComparison result;
    result.Binary = EitherIsBinary(left, right);
    if (!result.Binary) return result;
    const auto [leftEnd, rightEnd] = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
    if (leftEnd == left.end() && rightEnd == right.end())
        result.Identical = true;
    else
        result.FirstDifference = leftEnd - left.begin();
    return result;
}

}  // namespace kn
