// The content access of an FTP side: checksums where the server computes them, otherwise the
// file streamed over a data connection and handed to the comparison block by block, never
// stored.
//
// Checksums: the server's FEAT reply names them. "HASH SHA-256*;SHA-1;MD5" offers the HASH
// command (selected with "OPTS HASH <name>", answered "213 <name> <range> <hex> <path>"); the
// words XSHA256, XSHA1, XMD5 and XCRC offer those commands (answered "250 <hex>" or "213
// <hex>"). Many servers answer the X commands without naming them: where FEAT names no
// checksum, the commands are tried once per connection on the first file, strongest first,
// and the first that answers with a digest is used from then on; one refused as unknown
// (500, 502) is not asked again. A server that answers none is streamed.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitScanProviderFTP.h"
#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpError.h"
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

// The digest in a checksum reply, after its code; empty when it holds none.
std::string DigestOf(const TKNFtpReply& reply, TKNHashKind kind)
{
    return FindHexDigest(reply.Text.substr(std::min<std::size_t>(reply.Text.size(), 4)), kind);
}

// The reply to `command`, whatever its code; none in time, or a server closing the
// connection, is a failure of the connection and thrown.
TKNFtpReply AnyReply(TKNIdFTP& ftp, const std::string& command)
{
    try {
        return ftp.SendCmd(command, {200, 213, 250});
    } catch (const TKNFtpReplyError& e) {
        if (e.Code == 0 || e.Code == 421) throw;
        return TKNFtpReply{e.Code, e.what()};
    }
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

    std::vector<TKNHashKind> RemoteHashes(const TKNFileRec& Rec) override
    {
        TKNIdFTP& ftp = Connection();
        if (probing_) Probe(ftp, Rec);
        std::vector<TKNHashKind> kinds;
        for (TKNHashKind kind : kPreferred)
            if (hashOffered_[Index(kind)] || commandOffered_[Index(kind)]) kinds.push_back(kind);
        return kinds;
    }

    bool RemoteHash(const TKNFileRec& Rec, TKNHashKind kind, std::string& hex, std::string& reason) override
    {
        if (!probedHex_.empty() && probedPath_ == ServerPath(Rec) && probedKind_ == kind) {
            hex = std::move(probedHex_);
            probedHex_.clear();
            return true;
        }
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
            hex = DigestOf(reply, kind);
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
        std::fill(std::begin(hashOffered_), std::end(hashOffered_), false);
        std::fill(std::begin(commandOffered_), std::end(commandOffered_), false);
        std::fill(std::begin(refused_), std::end(refused_), false);
        probedPath_.clear();
        probedHex_.clear();
        TakeFeatures(ftp.SendCmd("FEAT", {211, 500, 502}));
        probing_ = std::none_of(std::begin(hashOffered_), std::end(hashOffered_), [](bool b) { return b; }) &&
                   std::none_of(std::begin(commandOffered_), std::end(commandOffered_), [](bool b) { return b; });
    }

    void TakeFeatures(const TKNFtpReply& feat)
    {
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

    // Tries the commands FEAT did not name on the file of `Rec`, strongest first, until one
    // gives a digest; that digest serves the file's RemoteHash. A reply other than a digest
    // or an unknown command (a missing file, a busy server) decides nothing.
    void Probe(TKNIdFTP& ftp, const TKNFileRec& Rec)
    {
        const std::string path = ServerPath(Rec);
        if (path == probedPath_) return;  // asked for this file already
        probedPath_ = path;
        for (TKNHashKind kind : kPreferred) {
            if (refused_[Index(kind)]) continue;
            const TKNFtpReply reply = AnyReply(ftp, std::string(CommandOf(kind)) + " " + path);
            const bool positive = reply.Code / 100 == 2;
            const std::string hex = positive ? DigestOf(reply, kind) : std::string();
            if (!hex.empty()) {
                commandOffered_[Index(kind)] = true;
                probing_ = false;
                probedKind_ = kind;
                probedHex_ = hex;
                return;
            }
            if (reply.Code == 500 || reply.Code == 502 || positive) refused_[Index(kind)] = true;
        }
        probing_ = std::find(std::begin(refused_), std::end(refused_), false) != std::end(refused_);
    }

    std::string root_;
    std::unique_ptr<TKNIdFTP> ftp_;
    bool hashOffered_[4] = {};
    bool commandOffered_[4] = {};
    int selected_ = -1;  // the kind OPTS HASH last chose
    // The probe of unnamed commands: on while FEAT named none and some are not yet refused.
    bool probing_ = false;
    bool refused_[4] = {};
    std::string probedPath_;  // the file last probed with
    TKNHashKind probedKind_ = TKNHashKind::Sha256;
    std::string probedHex_;  // its digest, until RemoteHash takes it
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
