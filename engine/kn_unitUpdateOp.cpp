#include "engine/kn_unitUpdateOp.h"

#include <map>
#include <tuple>

namespace kn {

namespace {

bool Listed(const TKNFileRec& rec)
{
    return !rec.Path.empty();
}

bool DeletesFile(TKNOperation op)
{
    return op == TKNOperation::DeleteLeft || op == TKNOperation::DeleteRight;
}

bool CopiesFile(TKNOperation op)
{
    return op == TKNOperation::CopyLeftToRight || op == TKNOperation::CopyRightToLeft;
}

// A file or link that takes the place of a folder the same run removes (a forced mirror, where
// the source has a link and the written side a real folder) goes last and waits for that
// removal: made before it, it would find the folder in the way.
void WaitForFoldersInTheWay(std::vector<TKNOp>& ops)
{
    std::map<std::pair<bool, std::string>, std::size_t> removals;
    for (std::size_t i = 0; i < ops.size(); ++i)
        if (ops[i].Op == TKNOperation::RemoveFolder) removals[{ops[i].WritesRight, ops[i].Path}] = i;
    if (removals.empty()) return;
    std::vector<TKNOp> waiting;
    std::vector<TKNOp> kept;
    kept.reserve(ops.size());
    std::vector<int> removalAt(ops.size(), -1);
    for (std::size_t i = 0; i < ops.size(); ++i) {
        const TKNOp& op = ops[i];
        if (CopiesFile(op.Op) && !op.Folder && op.After < 0 && removals.count({op.WritesRight, op.Path})) {
            waiting.push_back(op);
            continue;
        }
        if (op.Op == TKNOperation::RemoveFolder) removalAt[i] = static_cast<int>(kept.size());
        kept.push_back(op);
    }
    for (TKNOp& op : waiting) {
        op.After = removalAt[removals.at({op.WritesRight, op.Path})];
        kept.push_back(std::move(op));
    }
    ops = std::move(kept);
}

}  // namespace

bool TKNOp::ReplacesFile() const
{
    if (!Pair) return DeletesFile(Op);  // a left-over temporary file
    if (Folder || !(CopiesFile(Op) || DeletesFile(Op))) return false;
    const TKNFileRec& written = WritesRight ? Pair->Right : Pair->Left;
    return Listed(written) && !written.IsFolder();
}

bool ChangesSide(TKNOperation op)
{
    switch (op) {
        case TKNOperation::Nothing:
        case TKNOperation::Record:
        case TKNOperation::Forget:
        case TKNOperation::Keep:
        case TKNOperation::Conflict:
            return false;
        default:
            return true;
    }
}

std::vector<TKNOp> OneWayOps(const TKNFileCompare& engine, const std::vector<int>& indexes, TKNAction action,
                             bool force)
{
    std::vector<TKNOp> ops;
    ops.reserve(indexes.size());
    const TKNPairCaps caps = PairCapsOf(engine);
    for (int index : indexes) {
        const TMyFileOpt* row = engine.RowAt(index);
        if (!row || row->Unlisted) continue;
        const TKNPlannedOp planned = PlanRow(*row, action, force, caps);
        if (planned.IsNothing()) continue;
        TKNOp& op = ops.emplace_back();
        op.Op = planned.Op;
        op.WritesRight = planned.WritesRight;
        op.Pair = row;
        // Both records of a pair name the same path below their roots.
        const bool left = Listed(row->Left);
        const TKNFileRec& named = left ? row->Left : row->Right;
        const std::string& root = left ? engine.GetLeftFolder() : engine.GetRightFolder();
        op.Path = RelativeToRoot(named.Name.empty() ? named.Path.str() : PathJoin(named.Path, named.Name), root);
        op.Folder = named.IsFolder();
        op.Bytes = planned.WritesRight ? row->Left.Size : row->Right.Size;
    }
    WaitForFoldersInTheWay(ops);
    return ops;
}

void ProtectEdits(std::vector<TKNOp>& ops, bool all)
{
    std::vector<TKNOp> protectedOps;
    std::vector<int> moved(ops.size());
    protectedOps.reserve(ops.size());
    for (std::size_t i = 0; i < ops.size(); ++i) {
        TKNOp& op = ops[i];
        if ((all || op.KeepOld) && op.ReplacesFile() && op.After < 0) {
            TKNOp& backup = protectedOps.emplace_back();
            backup.Op = TKNOperation::Backup;
            backup.WritesRight = op.WritesRight;
            backup.Path = op.Path;
            backup.Pair = op.Pair;
            op.After = static_cast<int>(protectedOps.size()) - 1;
        } else if (op.After >= 0) {
            op.After = moved[static_cast<std::size_t>(op.After)];
        }
        moved[i] = static_cast<int>(protectedOps.size());
        protectedOps.push_back(std::move(op));
    }
    ops = std::move(protectedOps);
}

void JoinHardLinks(std::vector<TKNOp>& ops, const bool hardLinks[2])
{
    std::map<std::tuple<bool, uint64_t, uint64_t>, int> first;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        TKNOp& op = ops[i];
        const bool copy = op.Op == TKNOperation::CopyLeftToRight || op.Op == TKNOperation::CopyRightToLeft;
        if (!copy || op.Folder || !op.Pair || !hardLinks[op.WritesRight ? 1 : 0]) continue;
        const TKNFileRec& source = op.WritesRight ? op.Pair->Left : op.Pair->Right;
        if (source.Inode == 0 || source.HardLinks < 2 || source.Link) continue;
        const auto [at, isNew] = first.try_emplace({op.WritesRight, source.Device, source.Inode}, static_cast<int>(i));
        if (!isNew && op.After < 0) op.After = at->second;
    }
}

void CountOp(TKNPlanTotals& totals, const TKNOp& op)
{
    if (!op.Pair && DeletesFile(op.Op))
        totals.AddStaleTemp();
    else
        totals.Add(op.Op, op.Bytes);
}

TKNPlanTotals OpTotals(const std::vector<TKNOp>& ops)
{
    TKNPlanTotals totals;
    for (const TKNOp& op : ops) CountOp(totals, op);
    return totals;
}

}  // namespace kn
