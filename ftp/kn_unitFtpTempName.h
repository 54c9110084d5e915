// Names of the temporary files an upload writes beside its destination on a server:
// ".kn-" + the destination's name (at most 200 bytes) + "-" + six letters or digits, e.g.
// ".kn-index.html-a8x0qz". The upload renames it over the destination once it is whole, so a
// name of this pattern is never a user's file and is never listed as one.
#pragma once

#include <string>
#include <string_view>

namespace kn {

// A fresh temporary name for `name`; the six characters differ between calls and processes.
std::string FtpTempName(std::string_view name);

// True for a name of exactly the pattern above.
bool IsFtpTempName(std::string_view name);

}  // namespace kn
