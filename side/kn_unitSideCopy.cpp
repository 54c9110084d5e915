#include "side/kn_unitSideCopy.h"

#include <memory>

namespace kn {

TKNSideResult CopyBetweenSides(TKNSide& source, const TKNSidePath& from, TKNSide& dest, const TKNSidePath& to,
                               const TKNWriteTerms& terms, const std::function<void(int64_t)>& moved)
{
    std::unique_ptr<TKNReadStream> reader;
    if (TKNSideResult opened = source.OpenRead(from, reader); !opened) return opened;
    std::unique_ptr<TKNWriteStream> writer;
    if (TKNSideResult opened = dest.OpenWrite(to, terms, writer); !opened) return opened;
    if (TKNSideResult copied = writer->WriteFrom(*reader, moved); !copied) {
        writer->Abort();
        return copied;
    }
    return writer->Commit();
}

}  // namespace kn
