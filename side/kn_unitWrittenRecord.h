// The record of files written to servers that keep no times of their own (a WebDAV server
// without dead properties, an object store): for each, the entry as the server showed it once
// written (size, version such as an ETag, the server's own time) and the time it was meant to
// take (the source's). A later listing that finds the same size and version (the server's time
// where it keeps no versions) shows the recorded time, so a copied file compares equal to its
// source and is never sent again; anything else (the file changed on the server) shows the
// server's time.
//
// It lives in SQLite in the settings folder ("written.sqlite" beside the configuration file),
// never inside a compared tree, keyed by the side's location without its password and the
// file's path below it. Safe to use from several threads.
//
// Errors: a record that cannot be read or written is no record (the server's times stand); the
// functions never throw and never fail a listing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "side/kn_unitSide.h"

namespace kn {

// Remembers that `written` (its Name ignored) at `path` below `location` was meant to take
// `mtime`/`nsec`.
void RememberWritten(const std::string& location, const TKNSidePath& path, const TKNSideEntry& written, int64_t mtime,
                     int32_t nsec);
// One file to remember: the entry as the server shows it, and the time it stands for.
struct TKNWrittenRow {
    TKNSidePath Path;
    TKNSideEntry Written;
    int64_t MTime = 0;
    int32_t Nsec = 0;
};
// RememberWritten for many files in one transaction (a listing of thousands of objects).
void RememberWrittenRows(const std::string& location, const std::vector<TKNWrittenRow>& rows);
// Sets the recorded time on every entry of `entries` (listed in `folder`) whose record matches;
// which ones did, in their order. With `serverTimeToo` the server's time must match besides the
// version (a store whose version stays when only the metadata changes).
std::vector<bool> RecallWritten(const std::string& location, const TKNSidePath& folder,
                                std::vector<TKNSideEntry>& entries, bool serverTimeToo = false);
// Drops the record of `path` (a file removed).
void ForgetWritten(const std::string& location, const TKNSidePath& path);
// The record of `from` becomes that of `to` (a rename on the server keeps size and version).
void MoveWritten(const std::string& location, const TKNSidePath& from, const TKNSidePath& to);

}  // namespace kn
