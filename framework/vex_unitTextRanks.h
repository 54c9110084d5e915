// Dense ranks of texts held in shared copies. Many entries point at one copy (the files of a
// folder share their path text), so each copy gets an id once, with a one-entry cache for runs
// of one copy, and only the distinct copies are sorted. Example: copies "b", "a", "a" (two
// copies of one text) get ids 0, 1, 2 and ranks 1, 0, 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vex {

class TTextRanks {
public:
    // The id of the copy at `text`, ranked by its text after the first `skip` bytes (a copy is
    // always given with the same skip); the copy must outlive the ranking.
    uint32_t Id(const std::string* text, std::size_t skip = 0);
    // The rank of every id among the copies' texts in the order of `compare` (<0, 0, >0);
    // texts that compare equal share a rank. `count` receives the number of ranks.
    std::vector<uint32_t> Ranks(int (*compare)(std::string_view, std::string_view), uint32_t& count) const;

private:
    std::unordered_map<const std::string*, uint32_t> ids_;
    std::vector<std::string_view> copies_;
    const std::string* last_ = nullptr;
    uint32_t lastId_ = 0;
};

}  // namespace vex
