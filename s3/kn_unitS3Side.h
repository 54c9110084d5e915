// A bucket of an object store, or a prefix in it, as a side (see side/kn_unitSide.h for the
// promises every side keeps), over the shared HTTP client of http/ with every request signed
// (SigV4, path-style).
//
// What an object store cannot do like a disk, and how this side makes up for it:
// - A folder is a prefix of names. A folder made here is a zero-byte object whose key ends in
//   "/" (as the stores' consoles make them), so an empty folder stays; a folder that only holds
//   objects is listed all the same. A key with an empty component ("a//b") or one that is not
//   one plain name is never listed.
// - No links and no permission bits (SetMode is Unsupported), no rename (Caps().Rename false:
//   a move is a server-side copy, CopyWithin, and a delete).
// - Times are the object's metadata "x-amz-meta-mtime" (seconds with a fraction, the form other
//   tools of the ecosystem read and write); an object without it takes its LastModified.
//   Setting a time alone copies the object onto itself with replaced metadata.
// - A listing carries no metadata: an object whose size, ETag and LastModified are those the
//   record of written and seen objects (side/kn_unitWrittenRecord.h) holds (LastModified to the
//   millisecond, as listings give it) takes its time from there; for the others a HEAD is asked (many in flight at
//   once), and what it shows is recorded.
// - A write is atomic by itself: no temporary name. Up to kS3SinglePut bytes go in one PUT, the
//   body streamed; more in a multipart upload with several parts in flight, completed only when
//   every part is in, aborted on stop or failure.
// - "Unchanged since the comparison": a HEAD just before the write is compared with what was
//   expected, and the write itself carries "If-Match" (the bare ETag) or "If-None-Match: *"
//   where the store honours them; a store that refuses a condition for an object just seen
//   unchanged is taken to misapply them, and the HEAD alone checks from then on. A DELETE and a
//   copy are checked by the HEAD (stores ignore conditions on them).
// Its streams use its HTTP client: they must not outlive the side.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "http/kn_unitHttpClient.h"
#include "s3/kn_unitS3Location.h"
#include "s3/kn_unitS3Xml.h"
#include "side/kn_unitSide.h"

namespace kn {

// The largest file sent in one PUT; above, a multipart upload.
constexpr int64_t kS3SinglePut = int64_t(64) << 20;

// A side for an s3 location; nothing is reached before Connect.
std::unique_ptr<TKNSide> OpenS3Side(const std::string& location, const TKNSideContext& context);

// An object as a HEAD shows it.
struct TKNS3Head {
    long Status = 0;       // 200, 404, ...
    TKNSideEntry Entry;    // its time the metadata's, else the store's
    std::string ETag;      // bare
    int64_t Modified = 0;  // the store's LastModified
};

class TKNS3Side final : public TKNSide {
public:
    TKNS3Side(std::string location, TKNSideContext context);
    // Keeps the client's connections for the next side of the location.
    ~TKNS3Side() override;

    const TKNSideCaps& Caps() const override { return caps_; }
    std::string Shown(const TKNSidePath& path) const override;
    TKNSideResult Connect() override;
    // The endpoint, the key and the bucket and prefix.
    std::string Identity() const override;
    TKNSideResult List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries) override;
    // Every folder's first page at once, the next page of each asked as soon as one arrives.
    void ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings) override;
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
    TKNSideResult CopyWithin(const TKNSidePath& from, const TKNSidePath& to, const TKNWriteTerms& terms) override;
    std::vector<std::string> Hashes(const TKNSidePath& path) override;
    TKNSideResult Hash(const TKNSidePath& path, const std::string& function, std::string& hex) override;

    // From now on no conditional request is sent, as for a store that ignores them (tests).
    void IgnoreConditions() { conditions_ = false; }
    // Conditions are sent; false once the store misapplied one.
    bool& Conditions() { return conditions_; }

    // For the write streams.
    TKNHttpClient& Client() { return *client_; }
    const TKNSideContext& Context() const { return context_; }
    // The request target of `path` (a folder's key ends with "/"), with `query` (sorted, encoded).
    std::string Target(const TKNSidePath& path, bool folder = false, const std::string& query = {}) const;
    // The key of `path` below the bucket ("/" at a folder's end; "" for the bucket's top).
    std::string Key(const TKNSidePath& path, bool folder) const;
    // Names that are plain here; the failure names the first that is not.
    TKNSideResult CheckNames(const TKNSidePath& path) const;
    // A reply that failed as a result with `what` before the reason.
    TKNSideResult Failure(const std::string& what, const TKNHttpExchange& reply) const;
    // The object at `path` (without the record's time: the store's own).
    TKNSideResult Head(const TKNSidePath& path, TKNS3Head& head);
    // The object of a HEAD's `reply` for `path`.
    TKNSideResult HeadReply(const TKNSidePath& path, const TKNHttpExchange& reply, TKNS3Head& head) const;
    // Checks `expected` against the object at `path` as a HEAD shows it now; `head` receives it.
    TKNSideResult CheckNow(const TKNSidePath& path, const TKNExpected& expected, TKNS3Head& head);
    // The same against the object `head` shows.
    TKNSideResult CheckHead(const TKNSidePath& path, const TKNExpected& expected, const TKNS3Head& head);
    // Records the object just written at `path` as taking `mtime`, after a HEAD.
    void RememberObject(const TKNSidePath& path, int64_t mtime, int32_t nsec);
    // "x-amz-meta-mtime: SEC.NSEC".
    static std::string TimeHeader(int64_t mtime, int32_t nsec);

private:
    std::shared_ptr<TKNHttpExchange> StartPage(const TKNSidePath& folder, const std::string& token);
    // Folds one page into `listing`; false once the folder's listing ended (whole or failed).
    bool TakePage(const TKNSidePath& folder, const TKNHttpExchange& reply, TKNListing& listing, std::string& token);
    // The times of the entries of a listing of `folder`: the record's, else a HEAD's.
    void Times(const TKNSidePath& folder, TKNListing& listing);
    bool Reuse();

    std::string location_;
    TKNS3Location parsed_;
    std::string shownRoot_;
    TKNSideContext context_;
    TKNSideCaps caps_;
    std::unique_ptr<TKNHttpClient> client_;
    bool conditions_ = true;
    bool connected_ = false;
};

}  // namespace kn
