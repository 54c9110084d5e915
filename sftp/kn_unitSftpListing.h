// One folder listed on the side's wire in two round trips where libssh's calls take five: the
// folder's own attributes (lstat: is it a link?) and its opening leave together; reads of its
// names run ahead of their answers (a server gives about a hundred names per read), and the
// close is not waited for. The targets of the links among the names are then looked at all at
// once, one round trip more. Several folders may be listed at once, sharing these round trips.
//
// Errors: false with `Status` (the wire's code) and `Reason` in the listing; a listing that
// broke off is never returned as complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sftp/kn_unitSftpWire.h"

namespace kn {

struct TKNSftpListing {
    struct TName {
        TKNSftpName Entry;
        bool Link = false;
        bool Leads = false;   // a link whose target could be looked at
        TKNSftpAttrs Target;  // that target's attributes
        std::string Text;     // a link's own text, where the server told it
    };
    TKNSftpAttrs Self;         // the folder's own (lstat), when asked for
    std::vector<TName> Names;  // as the server gave them, "." and ".." included
    uint32_t Status = TKNSftpWire::kOk;
    std::string Reason;
};

// Lists the folder `path`; `self` also asks for its own attributes (Self).
bool ListOnWire(TKNSftpWire& wire, const std::string& path, bool self, TKNSftpListing& listing);
// Lists the folders `paths` at once, in the round trips of one: each listing as ListOnWire
// gives it with `selves[i]` (a failure of one is that listing's Status).
void ListManyOnWire(TKNSftpWire& wire, const std::vector<std::string>& paths, const std::vector<bool>& selves,
                    std::vector<TKNSftpListing>& listings);

}  // namespace kn
