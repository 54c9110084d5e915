// A file written to an SFTP side: the bytes go to a temporary name beside the destination
// (writes several in flight on the side's wire), whose size is checked and whose time and mode
// are set on the open handle; the destination is checked to be what the comparison saw and then
// replaced in one step, or, where the server cannot, through an old file moved aside under a
// name that a later listing recognises (see kn_unitSftpSide.h).
//
// Round trips, shared by every file in flight: the open of the temporary file leaves at
// OpenWrite and is answered by the first write; the end (time and mode set on the handle and
// read back, the close, an lstat of the destination) leaves behind the last byte; the commit
// takes those answers and renames. A commit also sends the renames of the new files after it
// (PlaceAhead), so a group of new files costs three round trips in all, not one more each.
#pragma once

#include <memory>

#include "side/kn_unitSide.h"

namespace kn {

class TKNSftpSide;

// A write stream as the other write streams of its side see it (TKNSftpSide::Writing, in the
// order opened, which is the order the caller commits them in).
class TKNSftpPlaceAhead {
public:
    virtual ~TKNSftpPlaceAhead() = default;
    // Its end left and is not all answered yet.
    virtual bool Waiting() const = 0;
    // Sends the rename that puts it in place, where that is safe before its commit: a new file
    // whose end is answered and clean. Its commit then only takes the answer; an abort or a
    // stop before its turn takes the file back and removes it, as if it had never been placed.
    virtual void PlaceAhead() = 0;
};

// Creates the temporary file for `path` (whose way the side checked) and the stream on it.
TKNSideResult OpenSftpWrite(TKNSftpSide& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream);

}  // namespace kn
