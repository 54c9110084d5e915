#include "side/kn_unitSide.h"

#include <vector>

namespace kn {

const char* SideErrorWord(TKNSideError kind)
{
    switch (kind) {
        case TKNSideError::None:
            return "none";
        case TKNSideError::NotFound:
            return "not-found";
        case TKNSideError::Exists:
            return "exists";
        case TKNSideError::Link:
            return "link";
        case TKNSideError::Changed:
            return "changed";
        case TKNSideError::BadName:
            return "bad-name";
        case TKNSideError::Denied:
            return "denied";
        case TKNSideError::NoSpace:
            return "no-space";
        case TKNSideError::Unsupported:
            return "unsupported";
        case TKNSideError::Stopped:
            return "stopped";
        case TKNSideError::Connection:
            return "connection";
        case TKNSideError::TooManyConnections:
            return "too-many-connections";
        case TKNSideError::Untrusted:
            return "untrusted";
        case TKNSideError::Other:
            return "other";
    }
    return "other";
}

void TKNSide::ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings)
{
    listings.assign(folders.size(), TKNListing{});
    for (std::size_t i = 0; i < folders.size(); ++i) listings[i].Result = List(folders[i], listings[i].Entries);
}

TKNSideResult TKNSide::Hash(const TKNSidePath&, const std::string& function, std::string&)
{
    return TKNSideResult::Fail(TKNSideError::Unsupported, "This side computes no " + function + " hashes.");
}

TKNSideResult TKNSide::CopyWithin(const TKNSidePath&, const TKNSidePath&, const TKNWriteTerms&)
{
    return TKNSideResult::Fail(TKNSideError::Unsupported, "This side cannot copy files by itself.");
}

TKNSideResult TKNSide::HardLink(const TKNSidePath&, const TKNSidePath&, const TKNWriteTerms&)
{
    return TKNSideResult::Fail(TKNSideError::Unsupported, "This side cannot give a file a second name.");
}

TKNSideResult TKNSide::MakeLink(const TKNSidePath&, const std::string&, const TKNWriteTerms&)
{
    return TKNSideResult::Fail(TKNSideError::Unsupported, "This side cannot hold symbolic links.");
}

TKNSideResult TKNWriteStream::WriteFrom(TKNReadStream& source, const std::function<void(int64_t)>& moved)
{
    std::vector<char> block(1 << 20);
    TKNSideResult result;
    for (;;) {
        const int64_t got = source.Read(block.data(), block.size(), result);
        if (got < 0) return result;
        if (got == 0) return TKNSideResult::Ok();
        result = Write(block.data(), static_cast<std::size_t>(got));
        if (!result) return result;
        if (moved) moved(got);
    }
}

}  // namespace kn
