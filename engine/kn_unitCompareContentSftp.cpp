// The content access of an SFTP side: the file streamed over the side's own session with
// several read requests in flight and handed to the comparison block by block, never stored.
// No hash is asked of the server: the one SFTP extension that hashes files ("check-file")
// needs an extended request, which libssh's client offers no call for, and OpenSSH's server
// lacks it anyway.
#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitScanProviderSFTP.h"
#include "sftp/kn_unitSftpReader.h"

namespace kn {

namespace {

class TKNSftpStream : public TKNContentStream {
public:
    explicit TKNSftpStream(TKNSftpSession& session) : Reader(session) {}
    int64_t Read(char* buffer, std::size_t size, std::string& reason) override
    {
        return Reader.Read(buffer, size, reason);
    }

    TKNSftpReader Reader;
};

class TKNSftpContentSide : public TKNContentSide {
public:
    explicit TKNSftpContentSide(std::string root) : root_(std::move(root)) {}
    ~TKNSftpContentSide() override
    {
        if (session_) session_->Close();
    }

    std::unique_ptr<TKNContentStream> Open(const TKNFileRec& Rec, bool& special, std::string& reason) override
    {
        TKNSftpSession& session = Session();
        const std::string path = session.RemotePath(PathJoin(Rec.Path, Rec.Name));
        auto stream = std::make_unique<TKNSftpStream>(session);
        TKNSftpEntry entry;
        TKNSftpReader::TFailure failure;
        std::string why;
        if (stream->Reader.Open(path, entry, failure, why)) return stream;
        special = failure == TKNSftpReader::TFailure::NotAFile;
        if (failure == TKNSftpReader::TFailure::Missing) reason = "\"" + path + "\" no longer exists.";
        if (failure == TKNSftpReader::TFailure::Other) reason = "\"" + path + "\" could not be opened: " + why;
        return nullptr;
    }

private:
    // Opened on first use, and again after a lost connection.
    TKNSftpSession& Session()
    {
        if (session_ && session_->Connected()) return *session_;
        session_ = std::make_unique<TKNSftpSession>();
        session_->Open(root_);
        return *session_;
    }

    std::string root_;
    std::unique_ptr<TKNSftpSession> session_;
};

}  // namespace

std::unique_ptr<TKNContentSide> MakeSftpContentSide(const std::string& root)
{
    return std::make_unique<TKNSftpContentSide>(root);
}

std::unique_ptr<TKNContentSide> TKNScanProviderSFTP::OpenContentSide(const std::string& Root)
{
    return MakeSftpContentSide(Root);
}

}  // namespace kn
