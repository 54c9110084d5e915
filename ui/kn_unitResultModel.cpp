#include "ui/kn_unitResultModel.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <cstdio>

#include "framework/vex_unitCounts.h"
#include "framework/vex_unitDateTime.h"
#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

constexpr int kIconCacheSize = 32768;

const char* const kColumnCaptions[kResultColumnCount] = {"Name",          "Size", "Last Modified", "?",
                                                         "Last Modified", "Size", "Name"};
const Qt::Alignment kColumnAlignment[kResultColumnCount] = {
    Qt::AlignLeft, Qt::AlignRight, Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignLeft, Qt::AlignRight, Qt::AlignLeft};

bool Exists(const TKNFileRec& rec)
{
    return !rec.Path.empty();
}

// Whether `op` replaces or deletes an entry that exists on the side it writes: a copy over an
// existing file, a deletion, a folder removal. New folders, attributes and times replace nothing.
bool Replaces(const TMyFileOpt& row, const TKNPlannedOp& op)
{
    switch (op.Op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
        case TKNOperation::RemoveFolder:
            return Exists(op.WritesRight ? row.Right : row.Left);
        default:
            return false;
    }
}

// A colour that stays readable on the palette's base: the lighter shade on a dark base.
QColor Readable(const QColor& onLight, const QColor& onDark)
{
    return QGuiApplication::palette().color(QPalette::Base).lightness() < 128 ? onDark : onLight;
}

}  // namespace

void LoadMainImages(vex::TvexImageList& images)
{
    for (const char* name : {"exit", "about", "folderleft", "folderright", "compare", "config", "presets", "stdiffer",
                             "stleft", "stright", "sortup", "sortdown"})
        images.AddResource(QStringLiteral(":/images/%1.png").arg(QLatin1String(name)));
}

QString FormatSize(int64_t size)
{
    static const std::string separator = GroupSeparator().toStdString();
    return QString::fromStdString(vex::GroupDigits(size, separator));
}

QString FormatTime(vex::TDateTime time)
{
    vex::DateTimeFields f = vex::DecodeDateTime(time);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return QString::fromLatin1(buffer);
}

QString RelativeName(const TKNFileRec& rec, int rootLength)
{
    std::string full = PathJoin(rec.Path.str(), rec.Name);
    size_t skip = static_cast<size_t>(rootLength) + 1;
    if (skip > full.size()) return {};
    return QString::fromUtf8(full.data() + skip, static_cast<qsizetype>(full.size() - skip));
}

TKNResultModel::TKNResultModel(TKNFileCompare& engine, vex::TvexImageList& images, vex::TvexSysImageList& sysImages,
                               QObject* parent)
    : QAbstractTableModel(parent),
      engine_(engine),
      images_(images),
      sysImages_(sysImages),
      iconCache_(kIconCacheSize, 0)
{
    struckFont_.setStrikeOut(true);
}

void TKNResultModel::SetItemCount(int count)
{
    beginResetModel();
    count_ = count;
    endResetModel();
}

void TKNResultModel::SetPlan(TKNAction action, bool force)
{
    if (action == planAction_ && force == planForce_) return;
    planAction_ = action;
    planForce_ = force;
    if (count_ > 0) emit dataChanged(index(0, 0), index(count_ - 1, kResultColumnCount - 1));
}

QString TKNResultModel::PlanMark(const TKNPlannedOp& op)
{
    switch (op.Op) {
        case TKNOperation::CopyLeftToRight:
            return QStringLiteral("\u2192");
        case TKNOperation::CopyRightToLeft:
            return QStringLiteral("\u2190");
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
        case TKNOperation::RemoveFolder:
            return QStringLiteral("\u00d7");
        case TKNOperation::CreateFolder:
            return QStringLiteral("+");
        case TKNOperation::SetAttributes:
            return QStringLiteral("A");
        case TKNOperation::SetTime:
            return QStringLiteral("T");
        case TKNOperation::Rename:
        case TKNOperation::MoveAside:
            return QStringLiteral("R");
        default:
            break;
    }
    return QStringLiteral("\u00b7");
}

void TKNResultModel::SetSortMark(int column, int direction)
{
    sortColumn_ = column;
    sortDirection_ = direction;
    emit headerDataChanged(Qt::Horizontal, 0, kResultColumnCount - 1);
}

int TKNResultModel::MapSystemIcon(int index) const
{
    if (index < 0 || index >= kIconCacheSize) return -1;
    uint16_t& cached = iconCache_[static_cast<size_t>(index)];
    if (cached == 0) cached = static_cast<uint16_t>(images_.Add(sysImages_.Icon(index)));
    return cached;
}

TMyFileOpt* TKNResultModel::RowAt(int index) const
{
    if (index < 0 || index >= count_ || static_cast<size_t>(index) >= engine_.Items.size()) return nullptr;
    return engine_.Items[static_cast<size_t>(index)].get();
}

const TMyFileOpt* TKNResultModel::Row(int index) const
{
    return RowAt(index);
}

// Looks the entry's icon up once and keeps the image index in the row.
int TKNResultModel::EntryImage(TMyFileOpt& row, bool left) const
{
    int32_t& image = left ? row.LeftImage : row.RightImage;
    if (image != -2 || selecting_) return image;
    TKNFileBuffer& list = left ? engine_.LeftList : engine_.RightList;
    int systemIndex = list.Provider ? list.Provider->IconIndex(left ? row.Left : row.Right) : -1;
    image = MapSystemIcon(systemIndex);
    return image;
}

QString TKNResultModel::CellText(int index, int column) const
{
    const TMyFileOpt* row = Row(index);
    if (!row) return {};
    bool leftSide = column <= 2;
    const TKNFileRec& rec = leftSide ? row->Left : row->Right;
    if (column == 3) return Shown(index).Mark;
    if (rec.Path.empty()) return {};
    // A link kept as a link shows its text after its name, as `ls -l` does.
    const QString linked = rec.Link ? QStringLiteral(" \u2192 ") + QString::fromStdString(rec.LinkTarget()) : QString();
    switch (column) {
        case 0:
            return RelativeName(rec, engine_.LeftRootLen) + linked;
        case 6:
            return RelativeName(rec, engine_.RightRootLen) + linked;
        case 1:
        case 5:
            return rec.IsFolder() ? QStringLiteral("Sub-Dir")
                   : rec.Link     ? QStringLiteral("Link")
                                  : FormatSize(rec.Size);
        default:
            return FormatTime(ShownTime(rec));
    }
}

TKNTwoWayRun* TKNResultModel::ShownTwoWay() const
{
    TKNTwoWayRun* run = engine_.TwoWay.get();
    return planAction_ == TKNAction::TwoWay && run && run->Ready() ? run : nullptr;
}

void TKNResultModel::TwoWayPlanChanged()
{
    twoWaySides_.clear();
    if (const TKNTwoWayRun* run = engine_.TwoWay.get(); run && run->Ready()) {
        for (const TKNTwoWayConflict& conflict : run->Plan().Conflicts)
            twoWaySides_[conflict.Path].LeftNewer = conflict.LeftNewer;
    }
    if (count_ > 0) emit dataChanged(index(0, 0), index(count_ - 1, kResultColumnCount - 1));
}

TKNTwoWayShown TKNResultModel::Shown(int index) const
{
    const TMyFileOpt* row = RowAt(index);
    if (!row) return {};
    if (TKNTwoWayRun* run = ShownTwoWay()) {
        TKNTwoWayRowFacts facts;
        facts.Decision = run->RowDecision(engine_, index);
        facts.LeftExists = Exists(row->Left);
        facts.RightExists = Exists(row->Right);
        if (facts.Decision.Op == TKNOperation::Conflict) {
            const auto at = twoWaySides_.find(TKNTwoWayRun::RowPath(engine_, *row));
            if (at != twoWaySides_.end()) facts.LeftNewer = at->second.LeftNewer;
        }
        return ShowTwoWayRow(facts);
    }
    if (planAction_ == TKNAction::TwoWay) {
        const TKNTwoWayRun* run = engine_.TwoWay.get();
        const QString why = run && !run->Problem().empty() ? tr("No two-way plan: %1").arg(ShownText(run->Problem()))
                                                           : tr("Compare (F5) to see the two-way plan");
        return {PlanMark({}), TSide::None, why};
    }
    const TKNPlannedOp op = PlanRow(*row, planAction_, planForce_, PairCapsOf(engine_));
    TKNTwoWayShown shown{PlanMark(op), TSide::None, QString::fromStdString(PlanText(op))};
    if (!Replaces(*row, op)) return shown;
    shown.Struck = op.WritesRight ? TSide::Right : TSide::Left;
    const TKNFileRec& written = op.WritesRight ? row->Right : row->Left;
    const bool deletes = op.Op != TKNOperation::CopyLeftToRight && op.Op != TKNOperation::CopyRightToLeft;
    const QString what = written.IsFolder() ? tr("folder") : tr("file");
    const QString side = op.WritesRight ? tr("right") : tr("left");
    shown.Hint += (deletes ? tr(": the %1 %2 is deleted") : tr(": the %1 %2 is replaced")).arg(side, what);
    return shown;
}

TKNResultModel::TSide TKNResultModel::StruckSide(int index) const
{
    return Shown(index).Struck;
}

QString TKNResultModel::RowHint(int index) const
{
    const TMyFileOpt* row = RowAt(index);
    if (!row) return {};
    // The column shows only what the update does; which side is newer is told here.
    const bool both = Exists(row->Left) && Exists(row->Right);
    const QString status = row->Status == TKNStatus::Differ ? tr("Same time, yet they differ.")
                           : row->Status == TKNStatus::Left
                               ? (both ? tr("Newer on the left.") : tr("Only on the left."))
                               : (both ? tr("Newer on the right.") : tr("Only on the right."));
    return Shown(index).Hint + "\n" + status;
}

// Text in the palette's colours: the side an update replaces or deletes is dimmed (and struck
// through, see Font), rows that differ at the same time are red, the plan marks in the link
// colour; everything else keeps the view's own text colour.
QVariant TKNResultModel::Foreground(int index, int column) const
{
    if (column == 3) return QGuiApplication::palette().color(QPalette::Link);
    const TSide struck = StruckSide(index);
    if ((struck == TSide::Left && column <= 2) || (struck == TSide::Right && column >= 4))
        return QGuiApplication::palette().color(QPalette::PlaceholderText);
    if (RowAt(index)->Status == TKNStatus::Differ) return Readable(QColor(0xC0, 0, 0), QColor(0xFF, 0x80, 0x80));
    return {};
}

QVariant TKNResultModel::Font(int index, int column) const
{
    const TSide struck = StruckSide(index);
    const bool hit = (struck == TSide::Left && column <= 2) || (struck == TSide::Right && column >= 4);
    return hit ? QVariant(struckFont_) : QVariant();
}

QVariant TKNResultModel::data(const QModelIndex& index, int role) const
{
    TMyFileOpt* row = RowAt(index.row());
    if (!row) return {};
    int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return CellText(index.row(), column);
        case Qt::DecorationRole: {
            int image = -1;
            if (column == 0 && !row->Left.Path.empty()) image = EntryImage(*row, true);
            if (column == 6 && !row->Right.Path.empty()) image = EntryImage(*row, false);
            return image >= 0 ? QVariant(images_.Icon(image)) : QVariant();
        }
        case Qt::ToolTipRole: {
            // A name cut by its column is whole in its hint.
            const TKNFileRec& rec = column == 6 ? row->Right : row->Left;
            if ((column == 0 || column == 6) && !rec.Path.empty())
                return QString::fromStdString(HideLocationPasswords(PathJoin(rec.Path.str(), rec.Name))) + "\n" +
                       RowHint(index.row());
            return RowHint(index.row());
        }
        case Qt::ForegroundRole:
            return Foreground(index.row(), column);
        case Qt::FontRole:
            return Font(index.row(), column);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(kColumnAlignment[column] | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant TKNResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kResultColumnCount) return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromLatin1(kColumnCaptions[section]);
        case Qt::DecorationRole:
            if (section != sortColumn_) return {};
            return images_.Icon(sortDirection_ >= 1 ? imgSortUp : imgSortDown);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(kColumnAlignment[section] | Qt::AlignVCenter);
        default:
            return {};
    }
}

int TKNResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count_;
}

int TKNResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kResultColumnCount;
}

Qt::ItemFlags TKNResultModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace kn
