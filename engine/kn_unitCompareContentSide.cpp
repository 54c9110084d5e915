// The content access of every kind of side: each reader opens its own side through the
// registry (its own connection, on first use), streams a file through the side's reader, and
// asks the side for a digest where the side computes one where its files are.
#include <algorithm>
#include <stdexcept>

#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitScanProviderSide.h"
#include "engine/kn_unitSideRegistry.h"

namespace kn {

namespace {

// The hash function names sides use, in TKNHashKind's order.
constexpr const char* kHashWords[] = {"sha256", "sha1", "md5", "crc32"};

// The stream's first block is read when it is opened: a side that carries several files at
// once tells a failed open only there.
class TKNSideStream : public TKNContentStream {
public:
    explicit TKNSideStream(std::unique_ptr<TKNReadStream> stream) : stream_(std::move(stream)) {}
    TKNSideResult ReadFirst()
    {
        TKNSideResult result;
        first_.resize(1 << 16);
        const int64_t got = stream_->Read(first_.data(), first_.size(), result);
        first_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return result;
    }
    int64_t Read(char* buffer, std::size_t size, std::string& reason) override
    {
        if (at_ < first_.size()) {
            const std::size_t n = std::min(size, first_.size() - at_);
            std::copy_n(first_.data() + at_, n, buffer);
            at_ += n;
            return static_cast<int64_t>(n);
        }
        TKNSideResult result;
        const int64_t got = stream_->Read(buffer, size, result);
        if (got < 0) reason = result.Message;
        return got;
    }

private:
    std::unique_ptr<TKNReadStream> stream_;
    std::string first_;
    std::size_t at_ = 0;
};

class TKNSideContentSide : public TKNContentSide {
public:
    TKNSideContentSide(std::string location, std::string root, const TKNSideContext& context)
        : location_(std::move(location)), root_(std::move(root)), context_(context)
    {
    }

    std::unique_ptr<TKNContentStream> Open(const TKNFileRec& Rec, bool& special, std::string& reason) override
    {
        TKNSidePath path;
        if (!Reach(Rec, path, reason)) return nullptr;
        std::unique_ptr<TKNReadStream> stream;
        TKNSideResult opened = side_->OpenRead(path, stream);
        std::unique_ptr<TKNSideStream> reading;
        if (opened) {
            reading = std::make_unique<TKNSideStream>(std::move(stream));
            opened = reading->ReadFirst();
        }
        if (!opened) {
            // A FIFO or device would block its reader: never opened, it keeps the time rule.
            special = opened.Kind == TKNSideError::Unsupported;
            if (opened.Kind == TKNSideError::NotFound)
                reason = "\"" + side_->Shown(path) + "\" no longer exists.";
            else if (!special)
                reason = opened.Message;
            return nullptr;
        }
        return reading;
    }

    std::vector<TKNHashKind> RemoteHashes(const TKNFileRec& Rec) override
    {
        TKNSidePath path;
        std::string reason;
        std::vector<TKNHashKind> kinds;
        if (!Reach(Rec, path, reason)) return kinds;
        for (const std::string& word : side_->Hashes(path))
            for (std::size_t i = 0; i < std::size(kHashWords); ++i)
                if (word == kHashWords[i]) kinds.push_back(static_cast<TKNHashKind>(i));
        return kinds;
    }

    bool RemoteHash(const TKNFileRec& Rec, TKNHashKind kind, std::string& hex, std::string& reason) override
    {
        TKNSidePath path;
        if (!Reach(Rec, path, reason)) return false;
        TKNSideResult hashed = side_->Hash(path, kHashWords[static_cast<std::size_t>(kind)], hex);
        if (!hashed) reason = hashed.Message;
        return static_cast<bool>(hashed);
    }

private:
    // The side, connected on first use, and the record's path.
    bool Reach(const TKNFileRec& Rec, TKNSidePath& path, std::string& reason)
    {
        if (!SidePathOf(Rec, root_, path, reason) || !ReadFromPath(Rec, path, reason)) return false;
        if (side_) return true;
        side_ = OpenSide(location_, context_);
        TKNSideResult connected = side_->Connect();
        if (!connected) {
            if (connected.Kind == TKNSideError::Connection) throw std::runtime_error(connected.Message);
            reason = connected.Message;
            side_.reset();
        }
        return static_cast<bool>(side_);
    }

    std::string location_;
    std::string root_;
    TKNSideContext context_;
    std::unique_ptr<TKNSide> side_;
};

}  // namespace

std::unique_ptr<TKNContentSide> MakeSideContentSide(const std::string& location, const std::string& root,
                                                    const TKNSideContext& context)
{
    return std::make_unique<TKNSideContentSide>(location, root, context);
}

}  // namespace kn
