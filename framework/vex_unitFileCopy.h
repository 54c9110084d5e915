// Local file operations below the sides: copying a file's content between two open
// descriptors, and making a folder with its missing parents beneath a root.
//
// MakeFolderTree writes only beneath its `root` and never through a link below it (see
// vex_unitPathBeneath.h): a link on the way or at the folder itself fails it.
//
// Every operation returns true on success, or false with a reason in `error`: the system's
// text for the failing call's errno, or a plain sentence where no errno fits.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>

#include "framework/vex_unitPathBeneath.h"

namespace vex {

// Files larger than this are copied in blocks of this size, with the stop test between blocks;
// smaller ones are copied in one go and cannot be stopped.
constexpr int64_t kCopyBlockSize = 1048576;

// Asked between blocks of a large copy; true ends the copy with "Operation canceled".
using StopTest = std::function<bool()>;

// Copies the whole content of the regular file `in` (whose status is `st`) into the empty `out`,
// both descriptors standing at offset 0 and moving: 1 MiB blocks by the kernel where it can, with a
// buffered fallback. Holes of a sparse source (fewer blocks allocated than its size) stay holes.
// `stop` is asked between blocks of a file over one block (ECANCELED); `moved`, when set,
// receives the bytes of each block. False with the failing call's text in `error` and its
// errno in `err`.
bool CopyFileContent(int in, int out, const struct stat& st, const StopTest& stop,
                     const std::function<void(int64_t)>& moved, std::string& error, int& err);

// Creates `path` with all its missing parents below `root`. An existing folder is success; an
// existing file or link at the path or on the way fails.
bool MakeFolderTree(const std::string& root, const std::string& path, std::string& error);

}  // namespace vex
