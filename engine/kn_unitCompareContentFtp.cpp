// The content access of an FTP side: checksums where the server computes them, otherwise the
// file streamed over a data connection and handed to the comparison block by block, never
// stored.
//
// Checksums: the server's FEAT reply names them. "HASH SHA-256*;SHA-1;MD5" offers the HASH
// command (selected with "OPTS HASH <name>", answered "213 <name> <range> <hex> <path>"); the
// words XSHA256, XSHA1, XMD5 and XCRC offer those commands (answered "250 <hex>" or "213
// <hex>"). A server that names none is streamed.
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitScanProviderFTP.h"
#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpLocation.h"

namespace kn {

namespace {

constexpr std::size_t kQueuedBlocks = 8;  // at most this many received blocks wait for the reader

const TKNHashKind kPreferred[] = {TKNHashKind::Sha256, TKNHashKind::Sha1, TKNHashKind::Md5, TKNHashKind::Crc32};

const char* CommandOf(TKNHashKind kind)
{
    switch (kind) {
        case TKNHashKind::Sha256:
            return "XSHA256";
        case TKNHashKind::Sha1:
            return "XSHA1";
        case TKNHashKind::Md5:
            return "XMD5";
        case TKNHashKind::Crc32:
            break;
    }
    return "XCRC";
}

// A download on its own thread into a short queue of blocks, which Read empties. Ending the
// stream early aborts the transfer.
class TKNFtpStream : public TKNContentStream {
public:
    TKNFtpStream(TKNIdFTP& ftp, std::string path) : ftp_(ftp)
    {
        thread_ = std::thread([this, path = std::move(path)] { Download(path); });
    }
    ~TKNFtpStream() override
    {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
        ftp_.Abort();
        thread_.join();
    }

    int64_t Read(char* buffer, std::size_t size, std::string& reason) override
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !blocks_.empty() || ended_; });
        if (blocks_.empty()) {
            if (failure_.empty()) return 0;
            reason = failure_;
            return -1;
        }
        std::string& front = blocks_.front();
        const std::size_t n = std::min(size, front.size() - offset_);
        std::memcpy(buffer, front.data() + offset_, n);
        offset_ += n;
        if (offset_ == front.size()) {
            blocks_.pop_front();
            offset_ = 0;
            changed_.notify_all();
        }
        return static_cast<int64_t>(n);
    }

private:
    void Download(const std::string& path)
    {
        std::string failure;
        try {
            ftp_.Retrieve(path, [this](const char* data, std::size_t size) {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return blocks_.size() < kQueuedBlocks || cancelled_; });
                if (cancelled_) return;  // the abort request ends the transfer after this block
                blocks_.emplace_back(data, size);
                changed_.notify_all();
            });
        } catch (const std::exception& e) {
            failure = e.what();
        }
        std::lock_guard lock(mutex_);
        failure_ = failure;
        ended_ = true;
        changed_.notify_all();
    }

    TKNIdFTP& ftp_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> blocks_;
    std::size_t offset_ = 0;
    bool ended_ = false, cancelled_ = false;
    std::string failure_;
    std::thread thread_;
};

class TKNFtpContentSide : public TKNContentSide {
public:
    explicit TKNFtpContentSide(std::string root) : root_(std::move(root)) {}
    ~TKNFtpContentSide() override
    {
        if (ftp_) ftp_->Disconnect();
    }

    std::unique_ptr<TKNContentStream> Open(const TKNFileRec& Rec, bool&, std::string&) override
    {
        return std::make_unique<TKNFtpStream>(Connection(), ServerPath(Rec));
    }

    std::vector<TKNHashKind> RemoteHashes() override
    {
        Connection();
        std::vector<TKNHashKind> kinds;
        for (TKNHashKind kind : kPreferred)
            if (hashOffered_[Index(kind)] || commandOffered_[Index(kind)]) kinds.push_back(kind);
        return kinds;
    }

    bool RemoteHash(const TKNFileRec& Rec, TKNHashKind kind, std::string& hex, std::string& reason) override
    {
        try {
            TKNIdFTP& ftp = Connection();
            TKNFtpReply reply;
            if (hashOffered_[Index(kind)]) {
                if (selected_ != static_cast<int>(Index(kind))) {
                    ftp.SendCmd(std::string("OPTS HASH ") + HashKindName(kind), {200});
                    selected_ = static_cast<int>(Index(kind));
                }
                reply = ftp.SendCmd("HASH " + ServerPath(Rec), {213});
            } else {
                reply = ftp.SendCmd(std::string(CommandOf(kind)) + " " + ServerPath(Rec), {213, 250});
            }
            hex = FindHexDigest(reply.Text.substr(std::min<std::size_t>(reply.Text.size(), 4)), kind);
            if (!hex.empty()) return true;
            reason = "The FTP server's checksum reply holds no " + std::string(HashKindName(kind)) + ": " + reply.Text;
        } catch (const std::exception& e) {
            reason = e.what();
        }
        return false;
    }

private:
    static std::size_t Index(TKNHashKind kind) { return static_cast<std::size_t>(kind); }
    static std::string ServerPath(const TKNFileRec& Rec) { return FtpPathPart(PathJoin(Rec.Path, Rec.Name)); }

    TKNIdFTP& Connection()
    {
        if (ftp_ && ftp_->Connected()) return *ftp_;
        ftp_ = std::make_unique<TKNIdFTP>();
        OpenFtpLocation(*ftp_, root_);
        ftp_->SetTransferType(TKNFtpTransferType::ftBinary);
        ReadFeatures(*ftp_);
        return *ftp_;
    }

    void ReadFeatures(TKNIdFTP& ftp)
    {
        selected_ = -1;
        TKNFtpReply feat = ftp.SendCmd("FEAT", {211, 500, 502});
        if (feat.Code != 211) return;
        std::size_t start = 0;
        while (start < feat.Text.size()) {
            std::size_t end = feat.Text.find('\n', start);
            if (end == std::string::npos) end = feat.Text.size();
            std::string line = feat.Text.substr(start, end - start);
            const std::size_t first = line.find_first_not_of(" \t"), last = line.find_last_not_of(" \t\r");
            if (first != std::string::npos) TakeFeature(vex::UpperCaseAscii(line.substr(first, last - first + 1)));
            start = end + 1;
        }
    }

    // One FEAT line, upper-cased: "HASH SHA-256*;MD5" or a command word.
    void TakeFeature(const std::string& line)
    {
        for (TKNHashKind kind : kPreferred) {
            if (line == CommandOf(kind)) commandOffered_[Index(kind)] = true;
            if (line.rfind("HASH ", 0) != 0) continue;
            std::string names = ";" + line.substr(5) + ";";
            std::string name = HashKindName(kind);
            if (names.find(";" + name + ";") != std::string::npos || names.find(";" + name + "*;") != std::string::npos)
                hashOffered_[Index(kind)] = true;
        }
    }

    std::string root_;
    std::unique_ptr<TKNIdFTP> ftp_;
    bool hashOffered_[4] = {};
    bool commandOffered_[4] = {};
    int selected_ = -1;  // the kind OPTS HASH last chose
};

}  // namespace

std::unique_ptr<TKNContentSide> MakeFtpContentSide(const std::string& root)
{
    return std::make_unique<TKNFtpContentSide>(root);
}

std::unique_ptr<TKNContentSide> TKNScanProviderFTP::OpenContentSide(const std::string& Root)
{
    return MakeFtpContentSide(Root);
}

}  // namespace kn
