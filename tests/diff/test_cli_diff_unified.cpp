// kestrune-cli diff -u: patch applies the output to the left file and gets the right one, on
// random and real-looking pairs; the exit status is diff's.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <random>

#include "tests/common/temp_tree.h"

namespace {

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

int Shell(const std::string& command)
{
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs diff -u through the program, applies it with patch and returns the patched text; the
// statuses of both the program and GNU diff -u on the pair go to the out-parameters.
std::string Patched(const testutil::TempDir& dir, const std::string& a, const std::string& b, const std::string& flags,
                    int& status, int& gnuStatus)
{
    const std::string left = dir / "left", right = dir / "right", out = dir / "out", patchFile = dir / "p.diff";
    testutil::WriteFile(left, a);
    testutil::WriteFile(right, b);
    status = Shell(std::string(KESTRUNE_CLI) + " diff " + flags + " " + Quote(left) + " " + Quote(right) + " > " +
                   Quote(patchFile));
    gnuStatus = Shell("diff " + flags + " " + Quote(left) + " " + Quote(right) + " > /dev/null");
    EXPECT_EQ(Shell("patch -s -o " + Quote(out) + " " + Quote(left) + " < " + Quote(patchFile)), 0)
        << testutil::ReadFile(patchFile);
    return testutil::ReadFile(out);
}

// Lines from a small alphabet, edited: long equal runs and clusters of changes, some lines
// without a final break, some with CR LF.
std::string RandomText(std::mt19937& rng, int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += "line " + std::to_string(rng() % 12);
        text += rng() % 10 == 0 ? "\r\n" : "\n";
    }
    if (rng() % 3 == 0 && !text.empty()) text.pop_back();
    return text;
}

std::string Edited(std::mt19937& rng, std::string text)
{
    for (int e = static_cast<int>(rng() % 6); e >= 0; --e) {
        const size_t at = text.empty() ? 0 : rng() % text.size();
        const size_t lineStart = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
        if (rng() % 2 == 0)
            text.insert(lineStart, "inserted " + std::to_string(rng() % 5) + "\n");
        else
            text.erase(lineStart, std::min(text.size() - lineStart, static_cast<size_t>(rng() % 40)));
    }
    return text;
}

TEST(CliDiffUnifiedTest, PatchTurnsTheLeftFileIntoTheRightOne)
{
    testutil::TempDir dir;
    const std::string source =
        "#include <stdio.h>\n\nint main(void)\n{\n    int total = 0;\n    for (int i = 0; i < 10; ++i)\n"
        "        total += i;\n    printf(\"%d\\n\", total);\n    return 0;\n}\n";
    std::string edited = source;
    edited.replace(edited.find("10"), 2, "20");
    edited.insert(edited.find("    return"), "    puts(\"done\");\n");
    std::string crlf;
    for (char c : source) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::pair<std::string, std::string> real[] = {
        {source, edited}, {source, source + "// end"}, {"", source}, {source, ""}, {crlf, edited}, {source, source},
    };
    std::vector<std::pair<std::string, std::string>> pairs(std::begin(real), std::end(real));
    std::mt19937 rng(28);
    for (int k = 0; k < 20; ++k) {
        std::string a = RandomText(rng, static_cast<int>(rng() % 60));
        pairs.emplace_back(a, Edited(rng, a));
    }
    for (const char* flags : {"-u", "-U0 --minimal"}) {
        for (const auto& [a, b] : pairs) {
            int status = 0, gnuStatus = 0;
            EXPECT_EQ(Patched(dir, a, b, flags, status, gnuStatus), b) << flags << " on:\n" << a << "\n---\n" << b;
            EXPECT_EQ(status, gnuStatus) << flags;
        }
    }
}

// With ignore letters the hunks hold only what is not ignored; what patch makes of the left
// file then equals the right one under the same letters.
TEST(CliDiffUnifiedTest, IgnoreLettersWorkWithUnifiedOutput)
{
    testutil::TempDir dir;
    const std::string a = "Alpha\n\nbeta  gamma\n# old note\ndelta\n";
    const std::string b = "alpha\nbeta gamma\n# new note\n\nDELTA\nepsilon\n";
    struct Row {
        const char* flags;
        std::string expected;  // the left file after patch
    } rows[] = {
        {"-u -i -b -B -I '^#'", "Alpha\n\nbeta  gamma\n# old note\ndelta\nepsilon\n"},
        {"-u -i", "Alpha\nbeta gamma\n# new note\n\ndelta\nepsilon\n"},
    };
    for (const Row& row : rows) {
        int status = 0, gnuStatus = 0;
        EXPECT_EQ(Patched(dir, a, b, row.flags, status, gnuStatus), row.expected) << row.flags;
        EXPECT_EQ(status, 1);
        EXPECT_EQ(gnuStatus, 1);
    }
    EXPECT_EQ(Shell(std::string(KESTRUNE_CLI) + " diff -u -i -w -B " + Quote(dir / "left") + " " + Quote(dir / "left") +
                    " > /dev/null"),
              0);
    EXPECT_EQ(Shell(std::string(KESTRUNE_CLI) + " diff -u -U x " + Quote(dir / "left") + " " + Quote(dir / "left") +
                    " 2> /dev/null"),
              2);
}

}  // namespace
