// Times the marks inside one modified line pair: a 20,000-character line of words against the
// same line with changes scattered through it (and one with a single changed word), best of
// several runs. Built and run by bench/diff.sh.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "diff/kn_unitInlineDiff.h"

namespace {

// Seconds of the fastest of `runs` runs, and the marks of the last.
double Best(const std::string& a, const std::string& b, size_t& marks)
{
    double best = 1e9;
    for (int run = 0; run < 7; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const kn::TInlineMarks result = kn::InlineChanges(a, b);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        marks = result.Left.size() + result.Right.size();
    }
    return best;
}

}  // namespace

int main()
{
    std::mt19937 rng(20000);
    const char* words[] = {"alpha", "beta", "gamma", "delta", "value", "index", "count", "buffer", "(x)", "{}", "=="};
    std::string a;
    while (a.size() < 20000) a += std::string(words[rng() % 11]) + (rng() % 7 == 0 ? "\t" : " ");
    a.resize(20000);
    std::string one = a, many = a;
    one.replace(10000, 5, "CHANG");
    for (int k = 0; k < 400; ++k) many[rng() % many.size()] = static_cast<char>('A' + rng() % 26);
    size_t marks = 0;
    const double tOne = Best(a, one, marks);
    std::printf("marks inside a 20,000-character line, one changed word: %.1f ms (%zu marks)\n", tOne * 1e3, marks);
    const double tMany = Best(a, many, marks);
    std::printf("marks inside a 20,000-character line, 400 changed characters: %.1f ms (%zu marks)\n", tMany * 1e3,
                marks);
    return 0;
}
