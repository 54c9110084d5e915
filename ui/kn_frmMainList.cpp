// The main window's result list: the view's set-up, sorting by column, the sort marks, the
// command that follows the selection, and the column widths.
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLayout>
#include <QTableView>

#include "ui/kn_frmMain.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitResultSort.h"

namespace kn {

namespace {

// Widths of columns 0 to 6; columns 1 to 5 keep theirs.
constexpr int kColumnWidths[kResultColumnCount] = {120, 100, 120, 40, 120, 100, 120};
constexpr int kMinNameWidth = 120;

}  // namespace

void TKNMainForm::CreateListView()
{
    ListViewFiles = new QTableView(centralWidget());
    ListViewFiles->setObjectName("ListViewFiles");
    model_ = new TKNResultModel(*FileCompare, MainImage, SysImage, this);
    ListViewFiles->setModel(model_);
    ListViewFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewFiles->setShowGrid(false);
    ListViewFiles->setWordWrap(false);
    ListViewFiles->setTextElideMode(Qt::ElideRight);
    ListViewFiles->setIconSize(QSize(16, 16));
    ListViewFiles->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Rows of one height: the view then never measures rows it does not draw.
    QHeaderView* rows = ListViewFiles->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(20, fontMetrics().height() + 4));
    QHeaderView* columns = ListViewFiles->horizontalHeader();
    columns->setSectionsClickable(true);
    columns->setSectionsMovable(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(kColumnWidths[3]);
    for (int column = 0; column < kResultColumnCount; ++column) {
        columns->resizeSection(column, kColumnWidths[column]);
        bool fixed = column >= 1 && column <= 5;
        columns->setSectionResizeMode(column, fixed ? QHeaderView::Fixed : QHeaderView::Interactive);
    }
    connect(columns, &QHeaderView::sectionClicked, this, &TKNMainForm::ListViewFilesColumnClick);
    connect(ListViewFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateShowDifferencesCommand(); });
    // A re-sort or a new result resets the model, which drops the selection without a signal.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { UpdateShowDifferencesCommand(); });
    connect(ListViewFiles, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { ShowDifferencesOfRow(index.row()); });
    ListViewFiles->viewport()->installEventFilter(this);
    ListViewFiles->installEventFilter(this);
    centralWidget()->layout()->addWidget(ListViewFiles);
}

void TKNMainForm::ResizeColumns()
{
    int client = ListViewFiles->viewport()->width();
    int name =
        std::max((client - 2 * kColumnWidths[1] - 2 * kColumnWidths[2] - kColumnWidths[3]) / 2 - 10, kMinNameWidth);
    ListViewFiles->horizontalHeader()->resizeSection(0, name);
    ListViewFiles->horizontalHeader()->resizeSection(6, name);
}

void TKNMainForm::SortRows()
{
    sorter_.Sort(FileCompare->Items, Config.Header.SortColumn, Config.Header.SortDirection);
}

void TKNMainForm::UpdateSortImages()
{
    model_->SetSortMark(Config.Header.SortColumn, Config.Header.SortDirection >= 1 ? 1 : -1);
}

void TKNMainForm::ListViewFilesColumnClick(int column)
{
    if (Busy) return;
    TKNConfigHeader& header = Config.Header;
    if (column != header.SortColumn)
        header.SortColumn = column;
    else
        header.SortDirection = header.SortDirection >= 1 ? -1 : 1;
    // A re-sort moves rows under the selection: the list starts over with nothing selected.
    SortRows();
    model_->SetItemCount(static_cast<int>(FileCompare->Items.size()));
    UpdateSortImages();
}

int TKNMainForm::TopSelectedRow() const
{
    // By ranges, not rows: a selection of a million rows is still a few ranges.
    int top = -1;
    for (const QItemSelectionRange& range : ListViewFiles->selectionModel()->selection())
        if (top < 0 || range.top() < top) top = range.top();
    return top;
}

bool TKNMainForm::RowHasBothSides(int row) const
{
    const TMyFileOpt* item = row >= 0 ? model_->Row(row) : nullptr;
    return item && !item->Left.Path.empty() && !item->Right.Path.empty();
}

void TKNMainForm::UpdateShowDifferencesCommand()
{
    QAction* showDifferences = FindAction("actCompareShowDifferences");
    showDifferences->setEnabled(RowHasBothSides(TopSelectedRow()) && showDifferences->property("knAvailable").toBool());
}

void TKNMainForm::SetUpdateCommands(bool enabled)
{
    for (const char* name :
         {"actCompareUpdate", "actCompareUpdateSelection", "actCompareForceUpdate", "actCompareForceUpdateSelection"}) {
        QAction* action = FindAction(name);
        action->setEnabled(enabled && action->property("knAvailable").toBool());
    }
}

}  // namespace kn
