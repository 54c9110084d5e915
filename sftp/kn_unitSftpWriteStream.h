// A file written to an SFTP side: the bytes go to a temporary name beside the destination
// (writes several in flight on the side's second channel), whose size is checked and whose time
// and mode are set on the open handle; the destination is checked to be what the comparison
// saw and then replaced in one step, or, where the server cannot, through an old file moved
// aside under a name that a later listing recognises (see kn_unitSftpSide.h).
#pragma once

#include <memory>

#include "side/kn_unitSide.h"

namespace kn {

class TKNSftpSide;

// Creates the temporary file for `path` (whose way the side checked) and the stream on it.
TKNSideResult OpenSftpWrite(TKNSftpSide& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream);

}  // namespace kn
