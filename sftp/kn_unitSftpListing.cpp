#include "sftp/kn_unitSftpListing.h"

#include <sys/stat.h>

#include <functional>

namespace kn {

namespace {

constexpr int kReadsAhead = 2;  // a small folder ends with the second: its names, then the end

class TLister {
public:
    TLister(TKNSftpWire& wire, TKNSftpListing& listing) : wire_(wire), listing_(listing) {}

    bool Run(const std::string& path, bool self)
    {
        if (self)
            wire_.SendLStat(path, Then(TKNSftpReply::kAttrs, [this](TKNSftpReply& r) { listing_.Self = r.Attrs(); }));
        wire_.SendOpenDir(path, Then(TKNSftpReply::kHandle, [this](TKNSftpReply& r) {
                              handle_ = r.Handle();
                              for (int i = 0; i < kReadsAhead; ++i) ReadMore();
                          }));
        Wait();
        if (!handle_.empty()) wire_.SendClose(handle_, {});
        if (listing_.Status != TKNSftpWire::kOk) return false;
        const std::string prefix = path == "/" ? path : path + "/";
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
        }
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

    // One more read of names; each answer with names sends the next.
    void ReadMore()
    {
        ++unanswered_;
        wire_.SendReadDir(handle_, [this](TKNSftpReply& reply) {
            --unanswered_;
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
            ReadMore();
        });
    }

    void Wait()
    {
        std::string reason;
        if (!wire_.WaitFor([this] { return unanswered_ == 0; }, reason)) Fail(wire_.Status(), reason);
    }

    TKNSftpWire& wire_;
    TKNSftpListing& listing_;
    std::string handle_;
    int unanswered_ = 0;
    bool ended_ = false;
};

}  // namespace

bool ListOnWire(TKNSftpWire& wire, const std::string& path, bool self, TKNSftpListing& listing)
{
    listing = TKNSftpListing();
    return TLister(wire, listing).Run(path, self);
}

}  // namespace kn
