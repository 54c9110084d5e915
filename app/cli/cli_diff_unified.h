// The parts of `kestrune-cli diff` that read like diff: the ignore letters (-b -w -i -B -I RE
// --strip-trailing-cr), unified output (-u, -U N) and the header lines of that output.
#pragma once

#include <string>
#include <vector>

#include "diff/kn_unitTextDiff.h"
#include "diff/kn_unitTextEncoding.h"

namespace cli {

extern const char* const DiffTextUsage;

struct TDiffTextArgs {
    kn::TIgnoreOptions Ignore;
    int Context = -1;  // lines of context of unified output; below 0: no unified output
};

enum class TOptionParse { NotMine, Taken, Bad };

// Takes argv[i] when it is one of the options above, with its value (then i moves past it);
// short letters may be joined ("-bw", "-U5", "-I^#"). Bad prints why to stderr.
TOptionParse ParseDiffTextOption(const std::vector<std::string>& argv, size_t& i, TDiffTextArgs& args);

// One file as read and decoded.
struct TDiffFile {
    std::string Name;
    std::string Bytes;  // as read; empty when Text holds them unchanged (UTF-8 without a mark)
    kn::TTextFormat Format;
    std::string Text;  // decoded to UTF-8
};

// The lines unified output shows of a file, with their LF: the file's own bytes for UTF-8
// and 8-bit files (so patch finds them), the decoded text for UTF-16 and UTF-32 files.
std::vector<std::string_view> UnifiedLines(const TDiffFile& file);

// "--- LEFT\tMODIFIED-TIME" and "+++ RIGHT\tMODIFIED-TIME" lines.
std::string UnifiedHeader(const std::string& leftName, const std::string& rightName);

}  // namespace cli
