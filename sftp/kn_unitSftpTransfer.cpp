#include "sftp/kn_unitSftpTransfer.h"

#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <random>
#include <vector>

#include "framework/vex_unitFileCopy.h"
#include "framework/vex_unitFileSystem.h"

namespace kn {

const char* const kSftpStopped = "Stopped";

namespace {

constexpr uint32_t kReadBlock = 64 * 1024;
constexpr int kReadsInFlight = 32;
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

// Reads the whole file into `fd`, keeping up to kReadsInFlight requests queued. A reply
// shorter than asked before the end drops the requests behind it and asks again from there.
bool PipelinedRead(TKNSftpSession& session, sftp_file file, int fd, const TKNSftpProgress& progress,
                   std::string& reason)
{
    std::vector<char> buffer(kReadBlock);
    std::deque<int> pending;
    int64_t done = 0;
    bool atEnd = false;
    for (;;) {
        while (!atEnd && pending.size() < static_cast<size_t>(kReadsInFlight)) {
            int id = sftp_async_read_begin(file, kReadBlock);
            if (id < 0) {
                reason = session.LastError();
                return false;
            }
            pending.push_back(id);
        }
        if (pending.empty()) return true;
        int id = pending.front();
        pending.pop_front();
        int n = sftp_async_read(file, buffer.data(), kReadBlock, static_cast<uint32_t>(id));
        if (n < 0) {
            reason = session.LastError();
            return false;
        }
        if (n == 0) {
            atEnd = true;  // the requests behind it find the end too
            continue;
        }
        if (!WriteAll(fd, buffer.data(), static_cast<size_t>(n))) {
            reason = vex::ErrorText(errno);
            return false;
        }
        done += n;
        if (progress && !progress(done)) {
            reason = kSftpStopped;
            return false;
        }
        if (static_cast<uint32_t>(n) < kReadBlock && !pending.empty()) {
            for (int stale : pending) sftp_async_read(file, buffer.data(), kReadBlock, static_cast<uint32_t>(stale));
            pending.clear();
            sftp_seek64(file, static_cast<uint64_t>(done));
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
    TRemoteFile remote;
    remote.file = sftp_open(session.Sftp(), remotePath.c_str(), O_RDONLY, 0);
    if (!remote.file) {
        reason = session.LastError();
        return false;
    }
    sftp_attributes attr = sftp_fstat(remote.file);
    if (!attr) {
        reason = session.LastError();
        return false;
    }
    const int64_t mtime = static_cast<int64_t>(attr->mtime);
    const mode_t mode = static_cast<mode_t>(attr->permissions & 07777);
    sftp_attributes_free(attr);
    vex::TvexTempFile temp;
    if (!temp.Open(localRoot, localDest, reason)) return false;
    if (!PipelinedRead(session, remote.file, temp.Handle(), progress, reason)) return false;
    if (!remote.Close()) {
        reason = session.LastError();
        return false;
    }
    if (::fchmod(temp.Handle(), mode) != 0) {
        reason = vex::ErrorText(errno);
        return false;
    }
    if (!temp.Commit(reason)) return false;
    return vex::SetLastWriteTime(localDest, mtime, reason);
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
