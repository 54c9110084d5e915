// A copy between any two sides: one stream from the source's reader into the destination's
// transactional writer, whatever their kinds. A same-kind fast path lives inside the writer
// (TKNWriteStream::WriteFrom), never in a class per pairing.
#pragma once

#include <cstdint>
#include <functional>

#include "side/kn_unitSide.h"

namespace kn {

// Copies the file `from` of `source` to `to` of `dest` with `terms` (its size, time, mode and
// what it replaces). `moved` receives the bytes of each block as they are written. On any
// failure the destination stays as it was and the result names the failing side's reason.
TKNSideResult CopyBetweenSides(TKNSide& source, const TKNSidePath& from, TKNSide& dest, const TKNSidePath& to,
                               const TKNWriteTerms& terms, const std::function<void(int64_t)>& moved);

}  // namespace kn
