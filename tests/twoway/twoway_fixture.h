// Short builders for two-way tests: state records and listed entries by path, size and time.
#pragma once

#include <string>
#include <vector>

#include "engine/kn_unitTwoWayPlan.h"

namespace twtest {

inline kn::TKNSideFacts Facts(int64_t size, int64_t mtime, uint64_t inode = 0, uint32_t step = 1)
{
    kn::TKNSideFacts f;
    f.Size = size;
    f.MTime = mtime;
    f.Inode = inode;
    f.TimeStep = step;
    return f;
}

inline kn::TKNListedEntry File(const std::string& path, int64_t size, int64_t mtime, uint64_t inode = 0)
{
    return {path, kn::TKNEntryKind::File, Facts(size, mtime, inode)};
}

inline kn::TKNListedEntry Folder(const std::string& path, uint64_t inode = 0)
{
    return {path, kn::TKNEntryKind::Folder, Facts(0, 0, inode)};
}

// A record whose sides both hold what `e` says (the left inode given, the right one + 1000).
inline kn::TKNStateEntry Record(const kn::TKNListedEntry& e)
{
    kn::TKNStateEntry s{e.Path, e.Kind, e.Facts, e.Facts};
    if (s.Right.Inode != 0) s.Right.Inode += 1000;
    return s;
}

inline std::vector<kn::TKNStateEntry> Records(const std::vector<kn::TKNListedEntry>& entries)
{
    std::vector<kn::TKNStateEntry> state;
    for (const kn::TKNListedEntry& e : entries) state.push_back(Record(e));
    return state;
}

// The right side's copy of entries: inodes + 1000, as Record gives them.
inline std::vector<kn::TKNListedEntry> OnRight(std::vector<kn::TKNListedEntry> entries)
{
    for (kn::TKNListedEntry& e : entries)
        if (e.Facts.Inode != 0) e.Facts.Inode += 1000;
    return entries;
}

}  // namespace twtest
