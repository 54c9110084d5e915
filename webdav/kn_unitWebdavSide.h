// A folder on a WebDAV server as a side (see side/kn_unitSide.h for the promises every side
// keeps), over the shared HTTP client of http/.
//
// What WebDAV cannot do like a local disk, and how this side makes up for it:
// - A listing cannot show links: the server resolves them. Whether a write can pass through a
//   link on the served folder is the server's to refuse (each test server is configured so).
// - Listings are PROPFIND with Depth 1 (size, time, type, ETag and the program's own time
//   property); a reply entry that is not the folder asked for or one name below it fails the
//   listing, since the server then answered for something else.
// - A file is written with PUT to a temporary name beside the destination, then moved onto it
//   with MOVE (Overwrite "F" for a new file). A replace checks the destination with a PROPFIND
//   just before and sends its ETag as a condition too; a server that misapplies the condition
//   (a 412 for an unchanged destination) is then only checked by the PROPFIND.
// - Times: a server that confirms "X-OC-Mtime" with the upload keeps the source's time itself;
//   else, where the server keeps dead properties (learnt at Connect with a PROPPATCH that
//   removes a property no one sets), the time is the program's own property, set on the
//   temporary before the move and bound to the file's size and the server's time of writing,
//   so a file changed later by others shows the server's time again. Elsewhere the side keeps
//   no times (KeepsTimes false) and the record of written files (side/kn_unitWrittenRecord.h)
//   gives the source's time back while the file is the one written.
// - No permission bits (SetMode is Unsupported).
// Its streams use its HTTP client: they must not outlive the side.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "http/kn_unitHttpClient.h"
#include "side/kn_unitSide.h"
#include "webdav/kn_unitWebdavLocation.h"
#include "webdav/kn_unitWebdavXml.h"

namespace kn {

class TKNWebdavWriteStream;

// A side for a WebDAV location (dav://... or davs://...); nothing is reached before Connect.
std::unique_ptr<TKNSide> OpenWebdavSide(const std::string& location, const TKNSideContext& context);

class TKNWebdavSide final : public TKNSide {
public:
    TKNWebdavSide(std::string location, TKNSideContext context);
    // Keeps the client's connections for the next side of the location.
    ~TKNWebdavSide() override;

    const TKNSideCaps& Caps() const override { return caps_; }
    std::string Shown(const TKNSidePath& path) const override;
    TKNSideResult Connect() override;
    // The server (scheme, user, host and port) and the root's path there. A server does not say
    // where its links lead, so one folder under two names there stays two roots.
    std::string Identity() const override;
    TKNSideResult List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries) override;
    // Every folder's PROPFIND at once.
    void ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings) override;
    TKNSideResult Stat(const TKNSidePath& path, TKNSideEntry& entry) override;
    // Stat with the ETag as the server wrote it (for a condition), and, unless `recall`, the
    // server's own time where the record of written files would give another.
    TKNSideResult StatTagged(const TKNSidePath& path, TKNSideEntry& entry, std::string& etag, bool recall);
    TKNSideResult OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream) override;
    TKNSideResult OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream) override;
    TKNSideResult MakeFolder(const TKNSidePath& path, int mode) override;
    TKNSideResult RemoveFolder(const TKNSidePath& path) override;
    TKNSideResult RemoveFile(const TKNSidePath& path, const TKNExpected& expected) override;
    TKNSideResult SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec) override;
    TKNSideResult SetMode(const TKNSidePath& path, uint32_t mode) override;
    TKNSideResult Rename(const TKNSidePath& from, const TKNSidePath& to) override;

    // For the write streams.
    TKNHttpClient& Client() { return *client_; }
    // Runs `request` and waits for it, again while the server answers 423 (Locked: another
    // request, a concurrent writer or the end of an upload cut short, holds the path a moment).
    std::shared_ptr<TKNHttpExchange> RunUnlocked(TKNHttpRequest request);
    const TKNSideContext& Context() const { return context_; }
    std::vector<TKNWebdavWriteStream*>& Writing() { return writing_; }
    // The request target of `path` (a folder's with "/" at its end), and its whole URL.
    std::string Target(const TKNSidePath& path, bool folder = false) const;
    std::string Url(const TKNSidePath& path, bool folder = false) const;
    // Names that are plain here; the failure names the first that is not.
    TKNSideResult CheckNames(const TKNSidePath& path) const;
    // A reply that is not one of `good` as a result with `what` before the reason.
    TKNSideResult Failure(const std::string& what, const TKNHttpExchange& reply) const;
    // The program's own time property set on `target`; false when the server did not keep it.
    // `serverDate` dates the last write of `target`, which may have gone on for `writeSeconds`
    // after it: a server dates its reply by when the request began, the file by when it ended.
    std::shared_ptr<TKNHttpExchange> StartOwnTime(const std::string& target, int64_t mtime, int32_t nsec, int64_t size,
                                                  const std::string& serverDate, int64_t writeSeconds);
    static bool OwnTimeKept(const TKNHttpExchange& reply);
    // Where the server keeps the program's time property (else the record serves).
    bool OwnTimes() const { return ownTimes_; }
    // Conditions (If, If-Match) are sent; false once the server misapplied one.
    bool& Conditions() { return conditions_; }
    // The location as the record of written files keys it.
    const std::string& RecordKey() const { return shownRoot_; }

private:
    std::shared_ptr<TKNHttpExchange> StartPropfind(const std::string& target, int depth);
    // The entries of a PROPFIND reply for `folder` (its own entry into `self` when asked).
    TKNSideResult Entries(const TKNSidePath& folder, const TKNHttpExchange& reply, bool listing,
                          std::vector<TKNSideEntry>& entries, TKNSideEntry* self, std::string* etag = nullptr);
    TKNSideResult Learn();
    // Takes over the client of a side of this location that went away; false when none waits.
    bool Reuse();

    std::string location_;
    TKNWebdavLocation parsed_;
    std::string shownRoot_;
    TKNSideContext context_;
    TKNSideCaps caps_;
    std::unique_ptr<TKNHttpClient> client_;
    std::vector<TKNWebdavWriteStream*> writing_;
    bool ownTimes_ = false;
    bool conditions_ = true;
    bool learnt_ = false;
    std::string date_;    // the server's Date of the last StatTagged
    std::string server_;  // and how it named itself
};

}  // namespace kn
