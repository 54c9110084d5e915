// The scan provider of FTP folders.
#pragma once

#include <memory>

#include "engine/kn_unitCompare.h"

namespace kn {

std::unique_ptr<TKNScanProvider> CreateScanProviderFTP();

}  // namespace kn
