// The local kind of side: a folder of this machine. Every entry is reached from the root one
// component at a time with openat(O_NOFOLLOW), so a link on the way fails with kind Link and a
// link at the entry is an entry of its own; the folders on the way stay open for the next
// entry (kn_unitOpenFolders.h), so the files of one folder cost one walk.
//
// What it adds to the promises of TKNSide (side/kn_unitSide.h):
// - Times to the nanosecond (TimeStep 1), permission bits, owners and inodes. A link is listed
//   with the attributes of what it leads to, but its own inode, device and link count.
// - OpenRead refuses FIFOs, sockets and devices without opening them for reading (the open is
//   non-blocking and checked with fstat before any read).
// - A write between two local sides copies in the kernel (copy_file_range, 1 MiB blocks, the
//   stop flag tested between them), keeps the holes of a sparse file and the source's `user.*`
//   extended attributes; a target that refuses those is told once through the context's Notice.
// - Rename never replaces (renameat2 RENAME_NOREPLACE; link and unlink where the file system
//   lacks it). Folders and files take exactly the given mode, whatever the umask.
// - A new file (Replaces: nothing there) is put in place by such a rename without a look at
//   the destination first: an entry that appeared there fails it at Commit with kind Changed.
// - The root must be an absolute path other than "/"; a link as the root is followed (the user
//   named it).
// - Its streams hold the side: they must not outlive it.
#pragma once

#include <memory>
#include <string>

#include "side/kn_unitSide.h"

namespace kn {

std::unique_ptr<TKNSide> OpenLocalSide(const std::string& root, const TKNSideContext& context);

}  // namespace kn
