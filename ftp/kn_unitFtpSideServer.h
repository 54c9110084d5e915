// The inside of the FTP side (kn_unitFtpSide.h): its connections, what it learned about the
// server, and the operations its streams share with it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/kn_unitFtpHashes.h"
#include "ftp/kn_unitIdFTP.h"
#include "side/kn_unitSide.h"

namespace kn {

class TKNFtpSide final : public TKNSide {
public:
    TKNFtpSide(std::string location, TKNSideContext context);
    ~TKNFtpSide() override;

    const TKNSideCaps& Caps() const override { return caps_; }
    std::string Shown(const TKNSidePath& path) const override;
    TKNSideResult Connect() override;
    std::string Identity() const override { return identity_; }
    TKNSideResult List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries) override;
    TKNSideResult Stat(const TKNSidePath& path, TKNSideEntry& entry) override;
    TKNSideResult OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream) override;
    TKNSideResult OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream) override;
    TKNSideResult MakeFolder(const TKNSidePath& path, int mode) override;
    TKNSideResult RemoveFolder(const TKNSidePath& path) override;
    TKNSideResult RemoveFile(const TKNSidePath& path, const TKNExpected& expected) override;
    TKNSideResult SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec) override;
    TKNSideResult SetMode(const TKNSidePath& path, uint32_t mode) override;
    TKNSideResult Rename(const TKNSidePath& from, const TKNSidePath& to) override;
    std::vector<std::string> Hashes(const TKNSidePath& path) override;
    TKNSideResult Hash(const TKNSidePath& path, const std::string& function, std::string& hex) override;

    // --- shared with the streams ---
    // A connection a side of the location left (side/kn_unitSideKeeper.h) that still enters
    // the root, or null.
    std::unique_ptr<TKNIdFTP> Kept();
    // A connection free for commands or a transfer (opened again when it was lost); null
    // with `result` set when none can be had.
    TKNIdFTP* Free(TKNSideResult& result);
    // Marks `ftp` as carrying a transfer of a stream (not handed out by Free) or free again.
    void SetStreaming(TKNIdFTP* ftp, bool streaming);
    // Runs `work` on a free connection; an FTP error becomes a result about `shown`.
    TKNSideResult Run(const std::string& shown, const std::function<TKNSideResult(TKNIdFTP&)>& work);
    // The result of an FTP error during an operation on `shown`.
    TKNSideResult Failure(const std::exception& error, const TKNIdFTP& ftp, const std::string& shown) const;
    std::string ServerPath(const TKNSidePath& path) const;
    // Stat of a server path that is not a checked side path (a temporary).
    TKNSideResult StatServer(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry);
    // The same, with the commands `along` sent in the same round trip (before it) and their
    // replies in `replies`, one each, refusals included.
    TKNSideResult StatServerWith(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry,
                                 const std::vector<std::string>& along, std::vector<TKNFtpReply>& replies);
    // The same in two steps, for a batch the caller sends: the commands that ask for the entry
    // (none where only the parent's listing tells; never the root), and the entry from their
    // replies, the last of `replies` (taken off them).
    std::vector<std::string> StatCommands(const TKNIdFTP& ftp, const std::string& serverPath) const;
    TKNSideResult StatFromReplies(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry,
                                  std::vector<TKNFtpReply>& replies);
    // The entry an MLST reply tells; `decided` false where the parent's listing must tell.
    TKNSideResult EntryFromMlst(const TKNFtpReply& told, const std::string& serverPath, TKNSideEntry& entry,
                                bool& decided) const;
    // The command that sets the time of a server path in a batch; empty where none is known yet
    // (SetServerTime then finds it) or the server cannot set times.
    std::string SetTimeCommand(const TKNIdFTP& ftp, const std::string& serverPath, int64_t mtime) const;
    // Sets the time of a server path (MDTM's offset added).
    // Unsupported once the server cannot set times.
    TKNSideResult SetServerTime(TKNIdFTP& ftp, const std::string& serverPath, int64_t mtime, const std::string& shown);
    TKNSideResult SetServerMode(TKNIdFTP& ftp, const std::string& serverPath, uint32_t mode, const std::string& shown);
    // After the first upload of a run to a server without MLSD: whether its listing shows the
    // (dot-named) temporary at `serverPath`, and how its MDTM relates to the listing.
    void LearnFromUpload(TKNIdFTP& ftp, const std::string& serverPath);
    // Deletes a temporary; an error is added to `result`'s message.
    void RemoveTemporary(const std::string& serverPath, TKNSideResult& result);
    bool Stopped() const { return context_.Stopped(); }

private:
    struct TConnection {
        std::unique_ptr<TKNIdFTP> ftp;
        bool streaming = false;
    };

    TKNSideResult Open(TKNIdFTP& ftp);
    using TEntryChange =
        std::function<TKNSideResult(TKNIdFTP& ftp, const std::string& serverPath, const std::string& shown)>;
    TKNSideResult ChangeEntry(const TKNSidePath& path, const TEntryChange& change);
    // Reading: the checks sent in the batch of the RETR, their judge, and the checks by the
    // parent's listing where those do not settle it.
    std::vector<std::string> ReadChecks(const TKNIdFTP& ftp, const std::string& serverPath) const;
    TKNSideResult JudgeRead(const TKNIdFTP& ftp, const std::vector<TKNFtpReply>& told, const std::string& serverPath,
                            const std::string& shown, int64_t& whole, bool& decided) const;
    static TKNSideResult ReadableFile(const TKNSideEntry& entry, const std::string& shown);
    TKNSideResult CheckReadListed(TKNIdFTP& ftp, const std::string& serverPath, const std::string& shown,
                                  int64_t& whole);
    TKNSideResult CheckNames(const TKNSidePath& path) const;
    // The listing of a server folder into `items`, with "-a" where the server understands it.
    void ListServer(TKNIdFTP& ftp, const std::string& serverPath, std::vector<TKNFtpListItem>& items);
    // The first listings of a server without MLSD: whether it understands "LIST -a".
    void LearnListAll(TKNIdFTP& ftp, std::vector<TKNFtpListItem>& items);
    TKNSideEntry EntryOf(const TKNFtpListItem& item) const;
    // The permission bits the server tells for `serverPath`; -1 when it tells none.
    int ReadMode(TKNIdFTP& ftp, const std::string& serverPath);
    // The exact time of a listed file from MDTM, learning how MDTM relates to the listing.
    void RefineTime(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry);
    // The same for every such file of a folder's listing, asked in batches.
    void RefineTimes(TKNIdFTP& ftp, const TKNSidePath& folder, std::vector<TKNSideEntry>& entries);
    bool NeedsRefinedTime(const TKNSideEntry& entry) const;
    // Takes `told` (MDTM's time, -1 when none) as the exact time of the listed `entry`.
    void ApplyModTime(const TKNIdFTP& ftp, int64_t told, TKNSideEntry& entry);
    void Tell(bool& told, const std::string& text);
    void HideDotEntries();

    std::string location_;  // as given, options included
    std::string shownRoot_;
    std::string identity_;  // the server and the root's canonical path, learned by Connect
    std::string rootPath_;  // the server path of the root
    TKNSideContext context_;
    TKNSideCaps caps_;
    std::vector<std::unique_ptr<TConnection>> connections_;
    TKNFtpHashes hashes_;  // the checksums the server computes

    // What this run learned about the server.
    enum class TListAll : uint8_t { Unknown, Understood, Refused };
    TListAll listAll_ = TListAll::Unknown;
    enum class TClock : uint8_t { Unknown, Learned, Useless };
    TClock clock_ = TClock::Unknown;
    int64_t clockOffset_ = 0;  // seconds MDTM is ahead of the listing's UTC
    bool uploadChecked_ = false;
    bool chmodWorked_ = false;  // a SITE CHMOD was taken: later refusals are about their entry
    bool toldDots_ = false, toldTimes_ = false, toldModes_ = false;
};

}  // namespace kn
