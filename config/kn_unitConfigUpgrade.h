// Upgrading a configuration file of an older layout (versions 1 to 7) to version 8. The whole
// file is converted in memory and written back only when every step succeeded, so a damaged
// old file is left exactly as it was.
#pragma once

#include <cstdint>
#include <vector>

#include "config/kn_unitConfigRecords.h"

namespace kn {

// Runs the upgrade steps from the version in bytes 32-33 up to 8 over the whole file content.
// False when that version is not 1 to 7 or when a step finds the data it needs cut short;
// `bytes` is then of no use.
bool UpgradeConfigBytes(std::vector<uint8_t>& bytes);

// A version-7 options record (2048 bytes) in the current form: the fields from byte 1058 on
// move, the folder bit joins Attributes when the old record was recursive, CheckFilter is set.
TKNOptionsRec ConvertOptions7(const uint8_t* old);
// A version-7 batch (32-byte name, then up to 32 entries of 64 bytes from byte 32, ended by the
// first empty preset name) in the current form.
TKNBatchRec ConvertBatch7(const uint8_t* old);

}  // namespace kn
