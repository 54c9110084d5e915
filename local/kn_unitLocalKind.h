// The local kind as the registry knows it: a folder of this machine, named by an absolute path.
// It serves no scheme and takes every text the other kinds do not.
#pragma once

#include "side/kn_unitSideKind.h"

namespace kn {

const TKNSideKind& LocalSideKind();

}  // namespace kn
