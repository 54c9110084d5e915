// kestrune-cli diff [--records] LEFT-FILE RIGHT-FILE: the line differences of two text files,
// read and compared exactly as the differences window does.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "app/cli/cli_command.h"
#include "diff/kn_unitBinaryFile.h"
#include "diff/kn_unitDiff.h"
#include "diff/kn_unitTextFile.h"

namespace {

const char* const Usage =
    "Usage: kestrune-cli diff [--records] LEFT-FILE RIGHT-FILE\n"
    "Compares two text files line by line and prints how many lines were added, modified and\n"
    "deleted from left to right. With --records each change record is printed first as\n"
    "KIND<TAB>INDEX1<TAB>INDEX2<TAB>COUNT (KIND is add, delete or modify; indexes are 0-based).\n"
    "A file with a zero byte in its first 8 KB is binary: two files of which one is binary are\n"
    "compared byte for byte and reported as \"Binary files A and B differ\".\n"
    "Exit status: 0 without differences, 1 with differences, 2 on an error.\n";

const char* KindName(kn::TDiffKind kind)
{
    switch (kind) {
    case kn::TDiffKind::dkAdd: return "add";
    case kn::TDiffKind::dkDelete: return "delete";
    case kn::TDiffKind::dkModify: return "modify";
    }
    return "?";
}

bool Load(const std::string& fileName, std::string& content)
{
    std::string reason;
    if (kn::ReadTextFile(fileName, content, reason))
        return true;
    std::fprintf(stderr, "kestrune-cli diff: cannot read \"%s\": %s\n", fileName.c_str(), reason.c_str());
    return false;
}

void PrintRecords(const kn::TDiff& diff)
{
    for (const kn::TDiffChange& c : diff.GetChanges())
        std::printf("%s\t%d\t%d\t%d\n", KindName(c.Kind), c.Index1, c.Index2, c.Count);
}

int RunDiff(std::vector<std::string> args)
{
    bool records = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return cli::ExitOk;
        }
        if (arg == "--records")
            records = true;
        else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "kestrune-cli diff: unknown option \"%s\"\n%s", arg.c_str(), Usage);
            return cli::ExitUsage;
        } else
            files.push_back(arg);
    }
    if (files.size() != 2) {
        std::fputs(Usage, stderr);
        return cli::ExitUsage;
    }
    kn::TBinaryComparison binary;
    std::string reason;
    if (!kn::CompareBinaryFiles(files[0], files[1], binary, reason)) {
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        std::fprintf(stderr, "kestrune-cli diff: %s\n", reason.c_str());
        return cli::ExitUsage;
    }
    if (binary.Binary) {
        if (binary.Identical) {
            std::printf("No differences.\n");
            return cli::ExitOk;
        }
        std::printf("Binary files %s and %s differ\n", files[0].c_str(), files[1].c_str());
        return cli::ExitFound;
    }
    std::string left, right;
    if (!Load(files[0], left) || !Load(files[1], right))
        return cli::ExitUsage;

    kn::TDiff diff;
    if (!diff.Compare(kn::HashLines(kn::SplitTextLineViews(left)), kn::HashLines(kn::SplitTextLineViews(right)))) {
        std::fprintf(stderr, "kestrune-cli diff: the files are too large to compare\n");
        return cli::ExitUsage;
    }
    if (records)
        PrintRecords(diff);
    kn::TDiffSummary s = diff.Summary();
    if (s.Empty()) {
        std::printf("No differences.\n");
        return cli::ExitOk;
    }
    std::printf("%" PRId64 " lines added, %" PRId64 " lines modified, %" PRId64 " lines deleted.\n", s.Added,
                s.Modified, s.Deleted);
    return cli::ExitFound;
}

const cli::CliCommandRegistration registration("diff", "compare two text files line by line", RunDiff);

}  // namespace
