// TKNPresetList and TKNBatchList: ordered lists of owned, fixed-size named records (presets are
// TKNOptionsRec, batches TKNBatchRec). A record's name is its first field, bytes 0-31. Two
// names are the same when they are equal after folding ASCII a-z to upper case; every other
// byte compares exactly. No list holds two records of the same name (except as read from a
// damaged file). Out-of-range indexes are ignored by every operation.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/kn_unitConfigRecords.h"
#include "framework/vex_unitText.h"

namespace kn {

template <class Rec>
class TKNRecordList {
public:
    static constexpr std::size_t RecordSize = sizeof(Rec);

    TKNRecordList() = default;
    TKNRecordList(const TKNRecordList& other) { Assign(other); }
    TKNRecordList& operator=(const TKNRecordList& other)
    {
        if (this != &other) Assign(other);
        return *this;
    }
    TKNRecordList(TKNRecordList&&) noexcept = default;
    TKNRecordList& operator=(TKNRecordList&&) noexcept = default;
    ~TKNRecordList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    bool InRange(int i) const { return i >= 0 && i < Count(); }

    // The record at `i`, or nullptr when `i` is out of range. Stays valid until it is deleted.
    Rec* Items(int i) { return InRange(i) ? items_[static_cast<std::size_t>(i)].get() : nullptr; }
    const Rec* Items(int i) const { return InRange(i) ? items_[static_cast<std::size_t>(i)].get() : nullptr; }

    // The name at `i`; "" when out of range.
    std::string Names(int i) const { return InRange(i) ? vex::GetField(Items(i)->Name) : std::string(); }

    // Index of the record named `name`, searching from the last record to the first; -1 if none.
    int IndexOf(std::string_view name) const
    {
        for (int i = Count() - 1; i >= 0; --i)
            if (vex::SameTextAscii(NameOf(*items_[static_cast<std::size_t>(i)]), name)) return i;
        return -1;
    }
    Rec* Find(std::string_view name) { return Items(IndexOf(name)); }
    const Rec* Find(std::string_view name) const { return Items(IndexOf(name)); }

    // Appends a copy of `record` and returns its index; -1 (nothing added) when a record of the
    // same name exists or the list is full (the file's counts are 16-bit).
    int Add(const Rec& record)
    {
        if (IndexOf(NameOf(record)) >= 0 || Count() >= kMaxListRecords) return -1;
        return Append(record);
    }

    // Appends a copy without the name check: for records read from the file as they stand.
    int Append(const Rec& record)
    {
        items_.push_back(std::make_unique<Rec>(record));
        return Count() - 1;
    }

    void Delete(int i)
    {
        if (InRange(i)) items_.erase(items_.begin() + i);
    }

    // Overwrites the name of record `i` with `name` cut to 31 bytes (never inside a UTF-8
    // sequence). Uniqueness is the caller's business.
    void Rename(int i, std::string_view name)
    {
        if (InRange(i)) vex::SetField(Items(i)->Name, name);
    }

    void Clear()
    {
        while (!items_.empty()) items_.pop_back();
    }

    // Clear, then Add of every record of `other` in its order.
    void Assign(const TKNRecordList& other)
    {
        if (this == &other) return;
        Clear();
        for (const auto& rec : other.items_) Add(*rec);
    }

    TKNRecordList Clone() const { return TKNRecordList(*this); }

    // By name, ASCII a-z folded, bytes unsigned, a prefix first.
    void Sort()
    {
        std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
            return vex::CompareTextAscii(NameOf(*a), NameOf(*b)) < 0;
        });
    }

private:
    // The name field up to its first NUL, without copying it.
    static std::string_view NameOf(const Rec& rec) { return {rec.Name, strnlen(rec.Name, sizeof rec.Name)}; }

    std::vector<std::unique_ptr<Rec>> items_;
};

using TKNPresetList = TKNRecordList<TKNOptionsRec>;
using TKNBatchList = TKNRecordList<TKNBatchRec>;

}  // namespace kn
