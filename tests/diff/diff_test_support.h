// Checks shared by the line-difference tests: replaying records against both inputs, the
// minimal edit distance by the textbook table, and random inputs shaped like real edits.
#pragma once

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "diff/kn_unitDiff.h"

namespace kn {
std::ostream& operator<<(std::ostream& os, const TDiffChange& c);
}

namespace difftest {

// One letter per line; the letter is the line's value.
inline std::vector<uint32_t> Letters(const std::string& s)
{
    return std::vector<uint32_t>(s.begin(), s.end());
}

// Rebuilds both inputs from the records the way the differences window lays them out,
// checking on the way that lines between records are equal and that records are well formed:
// the lines between two equal lines pair into one modify run, the rest in one add or delete run.
void Replay(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b,
            const std::vector<kn::TDiffChange>& changes);

// Minimal number of inserted plus removed lines, from the longest common subsequence.
int64_t ReferenceEditDistance(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

// Up to maxLen lines drawn from `alphabet` values.
std::vector<uint32_t> RandomLines(std::mt19937& rng, size_t maxLen, uint32_t alphabet);

// b is a with random lines removed, inserted and replaced: long common runs, like real edits.
std::vector<uint32_t> Edited(std::mt19937& rng, const std::vector<uint32_t>& a, int edits, uint32_t alphabet);

// Inserted plus removed lines of a summary, a modified line counting as both.
inline int64_t EditLength(const kn::TDiffSummary& s)
{
    return s.Added + s.Deleted + 2 * s.Modified;
}

}  // namespace difftest
