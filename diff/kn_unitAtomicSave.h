// Replacing a local file by a whole new one: the bytes go to a new temporary file
// ".kn-NAME-XXXXXX" in the file's own folder (the name the scans skip as the program's own),
// which is flushed to disk, given the old file's permission bits and the time of the saving (to
// the nanosecond) and renamed over the file, so a reader sees the old content or the new, never
// a part. The file is replaced only while it still has the stamp it had when it was read; a link
// is never written through.
#pragma once

#include <string>
#include <string_view>

#include "diff/kn_unitTextFile.h"

namespace kn {

// True with the new file's stamp in `stamp`; false with the reason in errorText, the file
// untouched and no temporary file left. `stamp` is the expected one on the way in.
bool SaveFileAtomically(const std::string& fileName, std::string_view bytes, TFileStamp& stamp, std::string& errorText);

}  // namespace kn
