#include "framework/vex_unitTextRanks.h"

#include <algorithm>
#include <numeric>

namespace vex {

uint32_t TTextRanks::Id(const std::string* text, std::size_t skip)
{
    if (text == last_) return lastId_;
    auto [it, added] = ids_.try_emplace(text, static_cast<uint32_t>(copies_.size()));
    if (added) copies_.push_back(std::string_view(*text).substr(std::min(skip, text->size())));
    last_ = text;
    lastId_ = it->second;
    return lastId_;
}

std::vector<uint32_t> TTextRanks::Ranks(int (*compare)(std::string_view, std::string_view), uint32_t& count) const
{
    std::vector<uint32_t> order(copies_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return compare(copies_[a], copies_[b]) < 0; });
    std::vector<uint32_t> ranks(copies_.size());
    count = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && compare(copies_[order[k - 1]], copies_[order[k]]) != 0) ++count;
        ranks[order[k]] = count;
    }
    if (!order.empty()) ++count;
    return ranks;
}

}  // namespace vex
