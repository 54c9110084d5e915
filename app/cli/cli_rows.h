// How kestrune-cli prints result rows: one line per row, seven fields separated by one tab:
// status (left, right, differ), left name, left size, left time, right time, right size, right
// name. A name is relative to its root, a folder's ending in "/", a symbolic link's followed by
// " -> " and its text; a size is "dir" for a folder and "link" for a link; a time is local "YYYY-MM-DD hh:mm:ss"; an
// absent side's fields are empty. Control characters and "\" in names are escaped ("\t", "\n", "\\", "\xHH") so that
// every row stays one line.
#pragma once

#include <cstdio>
#include <string>

#include "engine/kn_unitCompare.h"

namespace cli {

const char* StatusWord(kn::TKNStatus status);
// `text` with control characters and "\\" escaped as in a row, so that no name can reach the
// terminal as a control sequence or break a line.
std::string EscapeText(std::string_view text);
// The path of `rec` after its root, without a leading "/", a folder's ending in "/".
std::string RelativeName(const kn::TKNFileRec& rec, std::size_t rootLen);
std::string FormatRow(const kn::TMyFileOpt& row, std::size_t leftRootLen, std::size_t rightRootLen);
// Every row of the engine's result, in its order.
void PrintRows(std::FILE* out, const kn::TKNFileCompare& engine);
// "Found %d folder(s) and file(s)."
void PrintFoundCount(std::FILE* out, std::size_t count);
// When the comparison could not read some folders, how many and which, with the reasons; the
// links it left out, and why; and the program's left-over temporary files it found. Prints
// nothing otherwise.
void PrintScanNotes(std::FILE* out, const kn::TKNFileCompare& engine);

}  // namespace cli
