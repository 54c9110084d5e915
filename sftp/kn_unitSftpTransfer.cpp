#include "sftp/kn_unitSftpTransfer.h"

#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <vector>

#include "framework/vex_unitFileCopy.h"
#include "framework/vex_unitFileSystem.h"
#include "sftp/kn_unitSftpReader.h"

namespace kn {

const char* const kSftpStopped = "Stopped";

namespace {

constexpr size_t kCopyBlock = 64 * 1024;
// One write per request, below the 256 KiB message limit of common servers.
constexpr size_t kWriteBlock = 128 * 1024;

struct TRemoteFile {
    sftp_file file = nullptr;
    ~TRemoteFile()
    {
        if (file) sftp_close(file);
    }
    bool Close()
    {
        int rc = file ? sftp_close(file) : SSH_OK;
        file = nullptr;
        return rc == SSH_OK;
    }
};

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads the whole file into `fd`.
bool ReadInto(TKNSftpReader& reader, int fd, const TKNSftpProgress& progress, std::string& reason)
{
    std::vector<char> buffer(kCopyBlock);
    int64_t done = 0;
    for (;;) {
        const int64_t n = reader.Read(buffer.data(), buffer.size(), reason);
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAll(fd, buffer.data(), static_cast<size_t>(n))) {
            reason = vex::ErrorText(errno);
            return false;
        }
        done += n;
        if (progress && !progress(done)) {
            reason = kSftpStopped;
            return false;
        }
    }
}

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool PushFile(TKNSftpSession& session, int fd, sftp_file file, const TKNSftpProgress& progress, std::string& reason)
{
    std::vector<char> buffer(kWriteBlock);
    int64_t done = 0;
    for (;;) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            reason = vex::ErrorText(errno);
            return false;
        }
        if (n == 0) return true;
        if (sftp_write(file, buffer.data(), static_cast<size_t>(n)) != n) {
            reason = session.LastError();
            return false;
        }
        done += n;
        if (progress && !progress(done)) {
            reason = kSftpStopped;
            return false;
        }
    }
}

}  // namespace

std::string SftpTemporaryName(const std::string& remoteDest)
{
    static thread_local std::mt19937 random{std::random_device{}()};
    std::string folder = FolderOf(remoteDest);
    std::string name = remoteDest.substr(remoteDest.rfind('/') + 1);
    std::string suffix(6, 'a');
    for (char& c : suffix) c = static_cast<char>('a' + std::uniform_int_distribution<int>(0, 25)(random));
    return (folder == "/" ? "" : folder) + "/.kn-" + name + "-" + suffix;
}

bool SftpDownload(TKNSftpSession& session, const std::string& remotePath, const std::string& localRoot,
                  const std::string& localDest, const TKNSftpProgress& progress, std::string& reason)
{
    TKNSftpReader reader(session);
    TKNSftpEntry entry;
    TKNSftpReader::TFailure failure;
    if (!reader.Open(remotePath, entry, failure, reason)) return false;
    const mode_t mode = static_cast<mode_t>(entry.Permissions & 07777);
    vex::TvexTempFile temp;
    if (!temp.Open(localRoot, localDest, reason)) return false;
    if (!ReadInto(reader, temp.Handle(), progress, reason)) return false;
    if (!reader.Close(reason)) return false;
    if (::fchmod(temp.Handle(), mode) != 0) {
        reason = vex::ErrorText(errno);
        return false;
    }
    if (!temp.Commit(reason)) return false;
    return vex::SetLastWriteTime(localDest, entry.MTime, reason);
}

bool SftpUpload(TKNSftpSession& session, const std::string& localSource, const std::string& remoteDest, int64_t mtime,
                int permissions, const TKNSftpProgress& progress, std::string& reason)
{
    int fd = ::open(localSource.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = vex::ErrorText(errno);
        return false;
    }
    const std::string temp = SftpTemporaryName(remoteDest);
    TRemoteFile remote;
    remote.file = sftp_open(session.Sftp(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    bool ok = remote.file != nullptr;
    if (!ok) reason = session.LastError();
    ok = ok && PushFile(session, fd, remote.file, progress, reason);
    ::close(fd);
    if (ok && !remote.Close()) {
        ok = false;
        reason = session.LastError();
    }
    ok = ok && session.SetTimesAndMode(temp, mtime, permissions, reason);
    ok = ok && session.Replace(temp, remoteDest, reason);
    if (ok) return true;
    remote.Close();
    std::string ignored;
    TKNSftpEntry left;
    bool gone = session.Connected() && (session.RemoveFile(temp, ignored) || !session.Stat(temp, left, ignored));
    if (!gone) reason += "\r\nThe unfinished copy \"" + temp + "\" is left on the server.";
    return false;
}

}  // namespace kn
