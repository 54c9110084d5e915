// Move detection for two-way runs (kn_unitTwoWayPlan.h): on each side, records that vanished
// are paired with entries that appeared, when exactly one pairing fits. Files pair by size and
// time, and by inode where the side has inodes; a folder pairs by its inode where known, else by
// the whole list of what lies beneath it (relative names, kinds, sizes, times), which must then
// be the same and found nowhere else. Folders are paired first, outermost first; what a folder
// move carries is not paired again. A pairing is a move only when the bytes are known to be
// the same: the hash of each moved file equals the one the state recorded for its old path (or,
// without one, that of the other side's file there); sizes, times and inodes alone are no proof
// (archives with normalised times, a file renamed and rewritten in place).
#include <algorithm>
#include <map>
#include <unordered_map>

#include "engine/kn_unitTwoWayIndex.h"

namespace kn {

bool PathAtOrBeneath(std::string_view path, std::string_view folder)
{
    return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

namespace {

template <class T>
bool ByPath(const T* a, const T* b)
{
    return a->Path < b->Path;
}

// The range of `sorted` (by Path) at and beneath `folder`.
template <class T>
std::pair<std::size_t, std::size_t> RangeOf(const std::vector<const T*>& sorted, std::string_view folder)
{
    auto first = std::lower_bound(sorted.begin(), sorted.end(), folder,
                                  [](const T* e, std::string_view p) { return std::string_view(e->Path) < p; });
    auto last = first;
    while (last != sorted.end() && PathAtOrBeneath((*last)->Path, folder)) ++last;
    return {static_cast<std::size_t>(first - sorted.begin()), static_cast<std::size_t>(last - sorted.begin())};
}

template <class T>
const T* FindIn(const std::vector<const T*>& sorted, std::string_view path)
{
    auto at = std::lower_bound(sorted.begin(), sorted.end(), path,
                               [](const T* e, std::string_view p) { return std::string_view(e->Path) < p; });
    return at != sorted.end() && (*at)->Path == path ? *at : nullptr;
}

}  // namespace

TKNSideIndex::TKNSideIndex(const TKNTwoWaySide& side) : side_(side)
{
    sorted_.reserve(side.Entries.size());
    for (const TKNListedEntry& e : side.Entries) sorted_.push_back(&e);
    if (!std::is_sorted(sorted_.begin(), sorted_.end(), ByPath<TKNListedEntry>))
        std::sort(sorted_.begin(), sorted_.end(), ByPath<TKNListedEntry>);
    unknown_.assign(side.Unknown.begin(), side.Unknown.end());
    std::sort(unknown_.begin(), unknown_.end());
}

const TKNListedEntry* TKNSideIndex::Find(std::string_view path) const
{
    return FindIn(sorted_, path);
}

bool TKNSideIndex::Unknown(std::string_view path) const
{
    if (side_.RootMissing) return true;
    if (unknown_.empty()) return false;
    for (std::string_view at = path;;) {
        if (std::binary_search(unknown_.begin(), unknown_.end(), at)) return true;
        const std::size_t slash = at.rfind('/');
        if (slash == std::string_view::npos) return std::binary_search(unknown_.begin(), unknown_.end(), "");
        at = at.substr(0, slash);
    }
}

TKNStateIndex::TKNStateIndex(const std::vector<TKNStateEntry>& state)
{
    sorted_.reserve(state.size());
    for (const TKNStateEntry& e : state) sorted_.push_back(&e);
    if (!std::is_sorted(sorted_.begin(), sorted_.end(), ByPath<TKNStateEntry>))
        std::sort(sorted_.begin(), sorted_.end(), ByPath<TKNStateEntry>);
}

const TKNStateEntry* TKNStateIndex::Find(std::string_view path) const
{
    return FindIn(sorted_, path);
}

std::pair<std::size_t, std::size_t> TKNStateIndex::Subtree(std::string_view folder) const
{
    return RangeOf(sorted_, folder);
}

namespace {

// The moves of one side A against the other side B.
class TMoveFinder {
public:
    TMoveFinder(const TKNStateIndex& state, const TKNSideIndex& a, const TKNSideIndex& b, bool aIsLeft, int hours,
                std::vector<TKNHashWanted>* wanted)
        : state_(state), a_(a), b_(b), aIsLeft_(aIsLeft), hours_(hours), wanted_(wanted)
    {
    }

    void Find(std::vector<TKNMoveFound>& moves)
    {
        CollectCandidates();
        if (vanished_.empty() || appeared_.empty()) return;
        PairFolders(moves);
        PairFiles(moves);
    }

private:
    const TKNSideFacts& OnA(const TKNStateEntry& s) const { return aIsLeft_ ? s.Left : s.Right; }
    const TKNSideFacts& OnB(const TKNStateEntry& s) const { return aIsLeft_ ? s.Right : s.Left; }

    // B still holds the record as it was.
    bool UnchangedOnB(const TKNStateEntry& s) const
    {
        const TKNListedEntry* e = b_.Find(s.Path);
        return e && e->Kind == s.Kind && (s.Kind != TKNEntryKind::File || !FactsChanged(OnB(s), e->Facts, hours_));
    }

    // Vanished on A yet unchanged on B; appeared on A, unknown to the state and absent on B.
    void CollectCandidates()
    {
        for (const TKNStateEntry* s : state_.Sorted())
            if (!a_.Find(s->Path) && !a_.Unknown(s->Path) && UnchangedOnB(*s)) vanished_.push_back(s);
        for (const TKNListedEntry* e : a_.Sorted())
            if (!state_.Find(e->Path) && !b_.Find(e->Path) && !b_.Unknown(e->Path)) appeared_.push_back(e);
    }

    bool Taken(std::string_view path, bool from) const
    {
        for (const TKNMoveFound& m : moves_)
            if (PathAtOrBeneath(path, from ? m.Move.From : m.Move.To)) return true;
        return false;
    }

    bool SameFile(const TKNStateEntry& s, const TKNListedEntry& e) const
    {
        const TKNSideFacts& was = OnA(s);
        if (s.Kind != e.Kind || FactsChanged(was, e.Facts, hours_, true)) return false;
        return !a_.Side().Inodes || was.Inode == 0 || e.Facts.Inode == 0 || was.Inode == e.Facts.Inode;
    }

    // The bytes of `e` (moved here on A) are those recorded for `s`: its hash against the
    // state's, or the other side's file at the old path. Hashes not known are wanted.
    bool SameBytes(const TKNStateEntry& s, const TKNListedEntry& e) const
    {
        if (s.Kind != TKNEntryKind::File) return true;
        std::string known = !OnA(s).Hash.empty() ? OnA(s).Hash : OnB(s).Hash;
        const TKNListedEntry* old = b_.Find(s.Path);
        if (known.empty() && old) known = old->Facts.Hash;
        if (!e.Facts.Hash.empty() && !known.empty()) return e.Facts.Hash == known;
        if (wanted_) {
            if (e.Facts.Hash.empty()) wanted_->push_back({aIsLeft_, e.Path});
            if (known.empty() && old) wanted_->push_back({!aIsLeft_, s.Path});
        }
        return false;
    }

    // What lies beneath `from` in the state and beneath `to` on A, as one text per side.
    std::string StateBeneath(const std::string& from) const;
    std::string ListedBeneath(const std::string& to) const;
    // The records of a move from -> to, once every state path beneath `from` is found under
    // `to` on A as it was, with the same bytes; false when one is not.
    bool Carried(const std::string& from, const std::string& to, std::vector<TKNStateEntry>& records) const;
    // B holds nothing beneath `folder` that the state does not know, and all of it unchanged.
    bool SubtreeUnchangedOnB(const std::string& folder) const;

    void Add(std::vector<TKNMoveFound>& moves, const std::string& from, const std::string& to, bool folder,
             std::vector<TKNStateEntry> records)
    {
        moves_.push_back({{aIsLeft_, folder, from, to}, std::move(records)});
        moves.push_back(moves_.back());
    }

    void PairFolders(std::vector<TKNMoveFound>& moves);
    void PairFiles(std::vector<TKNMoveFound>& moves);

    const TKNStateIndex& state_;
    const TKNSideIndex& a_;
    const TKNSideIndex& b_;
    const bool aIsLeft_;
    const int hours_;
    std::vector<TKNHashWanted>* wanted_;
    std::vector<const TKNStateEntry*> vanished_;
    std::vector<const TKNListedEntry*> appeared_;
    std::vector<TKNMoveFound> moves_;
};

std::string TMoveFinder::StateBeneath(const std::string& from) const
{
    std::string text;
    const auto [first, last] = state_.Subtree(from);
    for (std::size_t i = first + 1; i < last; ++i) {
        const TKNStateEntry& s = *state_.Sorted()[i];
        text += s.Path.substr(from.size()) + '\t' + std::to_string(static_cast<int>(s.Kind)) + '\t' +
                std::to_string(OnA(s).Size) + '\t' + std::to_string(OnA(s).MTime) + '\n';
    }
    return text;
}

std::string TMoveFinder::ListedBeneath(const std::string& to) const
{
    std::string text;
    const auto [first, last] = RangeOf(a_.Sorted(), to);
    for (std::size_t i = first + 1; i < last; ++i) {
        const TKNListedEntry& e = *a_.Sorted()[i];
        text += e.Path.substr(to.size()) + '\t' + std::to_string(static_cast<int>(e.Kind)) + '\t' +
                std::to_string(e.Facts.Size) + '\t' + std::to_string(e.Facts.MTime) + '\n';
    }
    return text;
}

bool TMoveFinder::Carried(const std::string& from, const std::string& to, std::vector<TKNStateEntry>& records) const
{
    bool same = true;  // every file's bytes: all are asked for at once when some are not known
    const auto [first, last] = state_.Subtree(from);
    for (std::size_t i = first; i < last; ++i) {
        const TKNStateEntry& s = *state_.Sorted()[i];
        const std::string path = to + s.Path.substr(from.size());
        const TKNListedEntry* e = a_.Find(path);
        if (!e || a_.Find(s.Path) || !(s.Kind == TKNEntryKind::Folder ? e->Kind == s.Kind : SameFile(s, *e)))
            return false;
        same = SameBytes(s, *e) && same;
        TKNStateEntry& r = records.emplace_back(TKNStateEntry{path, s.Kind, {}, {}});
        (aIsLeft_ ? r.Left : r.Right) = e->Facts;
        (aIsLeft_ ? r.Right : r.Left) = OnB(s);
    }
    return same;
}

bool TMoveFinder::SubtreeUnchangedOnB(const std::string& folder) const
{
    const auto [first, last] = RangeOf(b_.Sorted(), folder);
    for (std::size_t i = first; i < last; ++i) {
        const TKNStateEntry* s = state_.Find(b_.Sorted()[i]->Path);
        if (!s || !UnchangedOnB(*s)) return false;
    }
    const auto [sFirst, sLast] = state_.Subtree(folder);
    for (std::size_t i = sFirst; i < sLast; ++i)
        if (!UnchangedOnB(*state_.Sorted()[i])) return false;
    return true;
}

void TMoveFinder::PairFolders(std::vector<TKNMoveFound>& moves)
{
    // Without inodes a folder pairs by what it holds; the text must name one folder either way.
    std::map<std::string, std::vector<const TKNListedEntry*>> appearedBy;
    for (const TKNListedEntry* e : appeared_)
        if (e->Kind == TKNEntryKind::Folder) appearedBy[ListedBeneath(e->Path)].push_back(e);
    std::map<std::string, int> vanishedCount;
    for (const TKNStateEntry* s : vanished_)
        if (s->Kind == TKNEntryKind::Folder) ++vanishedCount[StateBeneath(s->Path)];

    for (const TKNStateEntry* s : vanished_) {
        if (s->Kind != TKNEntryKind::Folder || Taken(s->Path, true) || !SubtreeUnchangedOnB(s->Path)) continue;
        const TKNListedEntry* to = nullptr;
        if (a_.Side().Inodes && OnA(*s).Inode != 0) {
            for (const TKNListedEntry* e : appeared_)
                if (e->Kind == TKNEntryKind::Folder && e->Facts.Inode == OnA(*s).Inode) to = e;
        } else if (const std::string held = StateBeneath(s->Path); !held.empty() && vanishedCount[held] == 1) {
            const auto found = appearedBy.find(held);
            if (found != appearedBy.end() && found->second.size() == 1) to = found->second.front();
        }
        std::vector<TKNStateEntry> records;
        if (to && !Taken(to->Path, false) && Carried(s->Path, to->Path, records))
            Add(moves, s->Path, to->Path, true, std::move(records));
    }
}

void TMoveFinder::PairFiles(std::vector<TKNMoveFound>& moves)
{
    std::unordered_multimap<int64_t, const TKNListedEntry*> bySize;
    for (const TKNListedEntry* e : appeared_)
        if (e->Kind == TKNEntryKind::File && !Taken(e->Path, false)) bySize.emplace(e->Facts.Size, e);
    // How many vanished files each appeared file would fit: a pairing counts only one to one.
    std::unordered_map<const TKNListedEntry*, int> fits;
    std::vector<std::pair<const TKNStateEntry*, const TKNListedEntry*>> single;
    for (const TKNStateEntry* s : vanished_) {
        if (s->Kind != TKNEntryKind::File || Taken(s->Path, true)) continue;
        const TKNListedEntry* only = nullptr;
        int count = 0;
        for (auto [at, end] = bySize.equal_range(OnA(*s).Size); at != end; ++at)
            if (SameFile(*s, *at->second)) {
                ++fits[at->second];
                only = at->second;
                ++count;
            }
        if (count == 1) single.emplace_back(s, only);
    }
    for (const auto& [s, e] : single) {
        if (fits[e] != 1 || !SameBytes(*s, *e)) continue;
        TKNStateEntry r{e->Path, TKNEntryKind::File, {}, {}};
        (aIsLeft_ ? r.Left : r.Right) = e->Facts;
        (aIsLeft_ ? r.Right : r.Left) = OnB(*s);
        Add(moves, s->Path, e->Path, false, {std::move(r)});
    }
}

}  // namespace

std::vector<TKNMoveFound> FindMoves(const TKNStateIndex& state, const TKNSideIndex& left, const TKNSideIndex& right,
                                    int ignoreHours, std::vector<TKNHashWanted>* wanted)
{
    std::vector<TKNMoveFound> moves;
    if (state.Sorted().empty()) return moves;
    TMoveFinder(state, left, right, true, ignoreHours, wanted).Find(moves);
    TMoveFinder(state, right, left, false, ignoreHours, wanted).Find(moves);
    if (wanted) {
        std::sort(wanted->begin(), wanted->end());
        wanted->erase(std::unique(wanted->begin(), wanted->end()), wanted->end());
    }
    return moves;
}

std::vector<TKNMove> DetectMoves(const std::vector<TKNStateEntry>& state, const TKNTwoWaySide& left,
                                 const TKNTwoWaySide& right, int ignoreHours, std::vector<TKNHashWanted>* wanted)
{
    const TKNStateIndex stateIndex(state);
    const TKNSideIndex leftIndex(left), rightIndex(right);
    std::vector<TKNMove> moves;
    for (TKNMoveFound& found : FindMoves(stateIndex, leftIndex, rightIndex, ignoreHours, wanted))
        moves.push_back(std::move(found.Move));
    return moves;
}

}  // namespace kn
