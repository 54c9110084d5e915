// File transfers over an open SFTP session. Downloads keep several read requests in flight;
// uploads go to a temporary name in the destination folder (".kn-NAME-XXXXXX") that replaces
// the destination only once it is whole. Both give the copy the source's last-write time and
// permission bits, so that comparing the two afterwards finds them equal.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sftp/kn_unitSftpSession.h"

namespace kn {

// Called after each block with the bytes moved so far; false stops the transfer.
using TKNSftpProgress = std::function<bool(int64_t done)>;

// The text a stopped transfer gives as its reason.
extern const char* const kSftpStopped;

// Downloads the server file `remotePath` to the local `localDest` through a temporary file
// beside it, making the folders between `localRoot` and it (never through a link). False with
// `reason` on failure or stop; `localDest` is then as it was.
bool SftpDownload(TKNSftpSession& session, const std::string& remotePath, const std::string& localRoot,
                  const std::string& localDest, const TKNSftpProgress& progress, std::string& reason);

// Uploads the local file `localSource` to the server path `remoteDest`, setting its time to
// `mtime` and its mode to `permissions`. False with `reason` on failure or stop; the
// destination is then as it was, and the temporary file is removed (or named in `reason`
// when the connection is gone).
bool SftpUpload(TKNSftpSession& session, const std::string& localSource, const std::string& remoteDest, int64_t mtime,
                int permissions, const TKNSftpProgress& progress, std::string& reason);

// The temporary name an upload of `remoteDest` uses: ".kn-NAME-" and six random letters.
std::string SftpTemporaryName(const std::string& remoteDest);

}  // namespace kn
