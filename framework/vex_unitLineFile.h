// Small text files of lines that the program keeps beside its configuration (the known servers,
// what servers keep): read whole, and replaced whole, never left half-written.
#pragma once

#include <string>
#include <vector>

namespace vex {

// The lines of `file`, without their line ends; none for a file that cannot be read.
std::vector<std::string> ReadLines(const std::string& file);

// Replaces `file` by one holding `text`: written to a new name beside it, flushed to the disk,
// then renamed over it, so a reader or a crash finds the old file or the new one, whole. False
// with `error` set (and nothing left behind) when it cannot.
bool ReplaceFileText(const std::string& file, const std::string& text, std::string& error);

}  // namespace vex
