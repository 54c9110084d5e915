#include "sftp/kn_unitSftpListing.h"

#include <sys/stat.h>

#include <functional>
#include <memory>

namespace kn {

namespace {

constexpr int kReadsAhead = 2;  // a small folder ends with the second: its names, then the end

class TLister {
public:
    TLister(TKNSftpWire& wire, TKNSftpListing& listing) : wire_(wire), listing_(listing) {}

    // Sends the folder's requests; its names come in while any answer is waited for.
    void Begin(const std::string& path, bool self)
    {
        path_ = path;
        if (self)
            wire_.SendLStat(path, Then(TKNSftpReply::kAttrs, [this](TKNSftpReply& r) { listing_.Self = r.Attrs(); }));
        wire_.SendOpenDir(path, Then(TKNSftpReply::kHandle, [this](TKNSftpReply& r) {
                              handle_ = r.Handle();
                              ReadAhead();
                          }));
    }

    // Once the names are in: the close (not waited for), then the looks at the links' targets
    // and texts.
    void LookAtLinks()
    {
        Wait();
        if (!handle_.empty()) wire_.SendClose(handle_, {});
        if (listing_.Status != TKNSftpWire::kOk) return;
        const std::string prefix = path_ == "/" ? path_ : path_ + "/";
        for (TKNSftpListing::TName& name : listing_.Names) {
            name.Link = (name.Entry.Attrs.Flags & TKNSftpAttrs::kMode) && S_ISLNK(name.Entry.Attrs.Mode);
            if (!name.Link) continue;
            // A link that leads nowhere is no failure of the listing.
            ++unanswered_;
            wire_.SendStat(prefix + name.Entry.Name, [this, &name](TKNSftpReply& r) {
                --unanswered_;
                std::string ignored;
                name.Leads = r.Status(TKNSftpReply::kAttrs, ignored) == TKNSftpWire::kOk;
                if (name.Leads) name.Target = r.Attrs();
            });
            // A text that cannot be read is no failure either: the link is then left out.
            ++unanswered_;
            wire_.SendReadLink(prefix + name.Entry.Name, [this, &name](TKNSftpReply& r) {
                --unanswered_;
                std::string ignored;
                std::vector<TKNSftpName> texts;
                if (r.Status(TKNSftpReply::kName, ignored) == TKNSftpWire::kOk && r.Names(texts) && texts.size() == 1)
                    name.Text = std::move(texts[0].Name);
            });
        }
    }

    bool End()
    {
        Wait();
        return listing_.Status == TKNSftpWire::kOk;
    }

private:
    // Counts the request; its answer, when of the `expected` type, goes to `next`, else it
    // fails the listing (the first failure stays).
    TKNSftpThen Then(uint8_t expected, std::function<void(TKNSftpReply&)> next)
    {
        ++unanswered_;
        return [this, expected, next = std::move(next)](TKNSftpReply& reply) {
            --unanswered_;
            std::string reason;
            const uint32_t status = reply.Status(expected, reason);
            if (status == TKNSftpWire::kOk)
                next(reply);
            else
                Fail(status, reason);
        };
    }

    void Fail(uint32_t status, const std::string& reason)
    {
        if (listing_.Status != TKNSftpWire::kOk) return;
        listing_.Status = status;
        listing_.Reason = reason;
    }

    // kReadsAhead reads of names at once; the last answer of a round with names sends the next
    // round. A small folder thus ends in one round (its names, then the end), with no read
    // after the end to wait for, and a large one still has kReadsAhead reads in each trip.
    void ReadAhead()
    {
        for (int i = 0; i < kReadsAhead; ++i) ReadMore();
    }

    void ReadMore()
    {
        ++unanswered_;
        ++readsOut_;
        wire_.SendReadDir(handle_, [this](TKNSftpReply& reply) {
            --unanswered_;
            --readsOut_;
            if (ended_ || listing_.Status != TKNSftpWire::kOk) return;
            std::string reason;
            const uint32_t status = reply.Status(TKNSftpReply::kName, reason);
            if (status == TKNSftpWire::kEof) {
                ended_ = true;
                return;
            }
            if (status != TKNSftpWire::kOk) return Fail(status, reason);
            std::vector<TKNSftpName> names;
            if (!reply.Names(names)) return Fail(TKNSftpWire::kFailure, "The SFTP server sent a malformed listing.");
            for (TKNSftpName& name : names) {
                TKNSftpListing::TName listed;
                listed.Entry = std::move(name);
                listing_.Names.push_back(std::move(listed));
            }
            if (readsOut_ == 0) ReadAhead();
        });
    }

    void Wait()
    {
        std::string reason;
        if (!wire_.WaitFor([this] { return unanswered_ == 0; }, reason)) Fail(wire_.Status(), reason);
    }

    TKNSftpWire& wire_;
    TKNSftpListing& listing_;
    std::string path_;
    std::string handle_;
    int unanswered_ = 0;
    int readsOut_ = 0;
    bool ended_ = false;
};

}  // namespace

bool ListOnWire(TKNSftpWire& wire, const std::string& path, bool self, TKNSftpListing& listing)
{
    listing = TKNSftpListing();
    TLister lister(wire, listing);
    lister.Begin(path, self);
    lister.LookAtLinks();
    return lister.End();
}

void ListManyOnWire(TKNSftpWire& wire, const std::vector<std::string>& paths, const std::vector<bool>& selves,
                    std::vector<TKNSftpListing>& listings)
{
    listings.assign(paths.size(), TKNSftpListing());
    std::vector<std::unique_ptr<TLister>> listers;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        listers.push_back(std::make_unique<TLister>(wire, listings[i]));
        listers.back()->Begin(paths[i], selves[i]);
    }
    for (auto& lister : listers) lister->LookAtLinks();
    for (auto& lister : listers) lister->End();
}

}  // namespace kn
