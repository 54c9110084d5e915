// The result list as a table model over the comparison engine's rows. It stores no texts:
// every cell is formatted when the view asks for it, so a result of any size costs nothing
// until it is drawn. Only the image indexes are cached, in the rows themselves.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/qt/vex_unitImageList.h"
#include "framework/qt/vex_unitSysImageList.h"
#include "ui/kn_unitResultSort.h"
#include "ui/kn_unitTwoWayView.h"

namespace kn {

// Fixed images of the main image list.
enum TKNMainImage : int {
    imgExit = 0,
    imgAbout,
    imgLeftFolder,
    imgRightFolder,
    imgCompare,
    imgConfiguration,
    imgPresetManager,
    imgDiffer,
    imgLeft,
    imgRight,
    imgSortUp,
    imgSortDown,
    imgFirstShellIcon
};

// Loads the twelve fixed images into an empty list, in index order.
void LoadMainImages(vex::TvexImageList& images);

// "1,234,567": digits grouped in threes with the locale's separator, no decimals.
QString FormatSize(int64_t size);
// "yyyy-mm-dd hh:nn:ss".
QString FormatTime(vex::TDateTime time);
// The entry's path relative to its side's root without a leading separator; folders end
// with a separator.
QString RelativeName(const TKNFileRec& rec, int rootLength);

class TKNResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `images` is the window's image list (fixed images already loaded); `sysImages` the
    // desktop icons that entry icons are copied from.
    TKNResultModel(TKNFileCompare& engine, vex::TvexImageList& images, vex::TvexSysImageList& sysImages,
                   QObject* parent = nullptr);

    // The number of rows the view shows. The rows are read only while the engine is idle, so
    // the count is 0 from a comparison's start until its end.
    void SetItemCount(int count);
    int ItemCount() const { return count_; }
    // While set, row images that were never looked up stay unset (collecting rows for an
    // update must not trigger icon lookups).
    void SetSelecting(bool selecting) { selecting_ = selecting; }
    // The update whose plan the "?" column and the row hints show. For Two-way they show the
    // engine's two-way plan (TKNFileCompare::TwoWay) once a comparison has made one.
    void SetPlan(TKNAction action, bool force);
    // The engine's two-way plan was made or changed (a conflict settled): the column reads it anew.
    void TwoWayPlanChanged();
    // The two-way run whose plan the column shows; null when it shows another action's.
    TKNTwoWayRun* ShownTwoWay() const;
    TKNAction PlanAction() const { return planAction_; }
    bool PlanForce() const { return planForce_; }
    // The mark of a planned operation: an arrow for a copy in its direction, "×" for a
    // deletion, "+" for a new folder, "A" for attributes, "·" for nothing.
    static QString PlanMark(const TKNPlannedOp& op);
    // The header's sort mark.
    void SetSortMark(int column, int direction);
    // The main image index for a desktop icon index; -1 for an index outside 0..32767. Each
    // distinct icon is copied into the main image list once.
    int MapSystemIcon(int index) const;

    // The side of a row whose entry the shown plan replaces or deletes: struck through and
    // dimmed, in every action and with Force alike.
    using TSide = TKNShownSide;
    TSide StruckSide(int index) const;
    // The row's hint: the planned operation in words and what it does to the side it writes,
    // e.g. "Copy left to right: the right file is replaced".
    QString RowHint(int index) const;

    const TMyFileOpt* Row(int index) const;
    // The column-0 caption and the column-6 text of a row, as shown.
    QString CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    TMyFileOpt* RowAt(int index) const;
    int EntryImage(TMyFileOpt& row, bool left) const;
    // The row as the shown plan treats it: mark, struck side, hint.
    TKNTwoWayShown Shown(int index) const;
    QVariant Foreground(int index, int column) const;
    QVariant Font(int index, int column) const;

    TKNFileCompare& engine_;
    vex::TvexImageList& images_;
    vex::TvexSysImageList& sysImages_;
    mutable std::vector<uint16_t> iconCache_;
    int count_ = 0;
    bool selecting_ = false;
    int sortColumn_ = 0;
    int sortDirection_ = 1;
    TKNAction planAction_ = TKNAction::Auto;
    bool planForce_ = false;
    // Which version of each conflict of the two-way plan is newer, by path: the row decisions
    // alone do not tell.
    struct TTwoWaySides {
        bool LeftNewer = false;
    };
    std::unordered_map<std::string, TTwoWaySides> twoWaySides_;
    QFont struckFont_;
};

}  // namespace kn
