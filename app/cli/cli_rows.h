// How kestrune-cli prints result rows: one line per row, seven fields separated by one tab:
// status (left, right, differ), left name, left size, left time, right time, right size, right
// name. A name is relative to its root, a folder's ending in "/"; a size is "dir" for a folder;
// a time is local "YYYY-MM-DD hh:mm:ss"; an absent side's fields are empty. Control characters
// and "\" in names are escaped ("\t", "\n", "\\", "\xHH") so that every row stays one line.
#pragma once

#include <cstdio>
#include <string>

#include "engine/kn_unitCompare.h"

namespace cli {

const char* StatusWord(kn::TKNStatus status);
// The path of `rec` after its root, without a leading "/", a folder's ending in "/".
std::string RelativeName(const kn::TKNFileRec& rec, std::size_t rootLen);
std::string FormatRow(const kn::TMyFileOpt& row, std::size_t leftRootLen, std::size_t rightRootLen);
// Every row of the engine's result, in its order.
void PrintRows(std::FILE* out, const kn::TKNFileCompare& engine);
// "Found %d folder(s) and file(s)."
void PrintFoundCount(std::FILE* out, std::size_t count);

}  // namespace cli
