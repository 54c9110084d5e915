// The main window's result list: the view's set-up, sorting by column, the sort marks, the
// command that follows the selection, and the column widths.
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QTableView>

#include "framework/qt/vex_unitThemeMarks.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitResultSort.h"
#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

// Widths of columns 0 to 6; columns 1 to 5 keep theirs.
constexpr int kColumnWidths[kResultColumnCount] = {120, 100, 120, 40, 120, 100, 120};
constexpr int kMinNameWidth = 120;

}  // namespace

namespace {

// The result list's view: Home and End go to the first and last row, as in every list of rows
// (a table's own keys move between the columns of one row, which this list never selects);
// with Shift they extend the selection as the view always does.
class TKNResultView : public QTableView {
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        if (action == MoveHome || action == MoveEnd) modifiers |= Qt::ControlModifier;
        return QTableView::moveCursor(action, modifiers);
    }
};

}  // namespace

void TKNMainForm::CreateListView()
{
    ListViewFiles = new TKNResultView(centralWidget());
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
    // Times with their seconds fit whatever the font.
    const int timeWidth = std::max(
        kColumnWidths[2], ListViewFiles->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 12);
    // The plan column holds a two-way mark of two signs ("\u2192\u00d7").
    const int planWidth =
        std::max(kColumnWidths[3], ListViewFiles->fontMetrics().horizontalAdvance(QStringLiteral("\u2192\u00d7")) + 20);
    for (int column = 0; column < kResultColumnCount; ++column) {
        const int width = column == 2 || column == 4 ? timeWidth : column == 3 ? planWidth : kColumnWidths[column];
        columns->resizeSection(column, width);
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
    lblOutOfDate = new QLabel(centralWidget());
    lblOutOfDate->setObjectName("lblOutOfDate");
    StyleNotice(lblOutOfDate);
    lblOutOfDate->hide();
    // Its text follows the action (ShowTwoWayPlan).
    lblLegend = new QLabel(centralWidget());
    lblLegend->setObjectName("lblLegend");
    lblLegend->setContentsMargins(4, 0, 4, 0);
    // A legend longer than the window wraps: a text never widens the window past the screen.
    lblLegend->setWordWrap(true);
    centralWidget()->layout()->addWidget(lblOutOfDate);
    centralWidget()->layout()->addWidget(ListViewFiles);
    centralWidget()->layout()->addWidget(lblLegend);
    CreateTwoWayControls();
}

void TKNMainForm::StyleNotice(QLabel* label)
{
    label->setWordWrap(true);
    label->setMargin(4);
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Window);
    label->setForegroundRole(QPalette::WindowText);
    label->setPalette(vex::NoticePalette(QApplication::palette()));
}

void TKNMainForm::ResizeColumns()
{
    const QHeaderView* header = ListViewFiles->horizontalHeader();
    int client = ListViewFiles->viewport()->width();
    int fixed = 0;
    for (int column = 1; column <= 5; ++column) fixed += header->sectionSize(column);
    int name = std::max((client - fixed) / 2 - 10, kMinNameWidth);
    ListViewFiles->horizontalHeader()->resizeSection(0, name);
    ListViewFiles->horizontalHeader()->resizeSection(6, name);
}

void TKNMainForm::SortRows()
{
    const TKNResultRoots roots{static_cast<std::size_t>(FileCompare->LeftRootLen),
                               static_cast<std::size_t>(FileCompare->RightRootLen)};
    sorter_.Sort(FileCompare->Items, Config.Header.SortColumn, Config.Header.SortDirection, roots);
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

bool TKNMainForm::RowHasTwoTexts(int row) const
{
    const TMyFileOpt* item = row >= 0 ? model_->Row(row) : nullptr;
    // A link kept as a link has no text of its own: its row shows the link's.
    return item && !item->Left.Path.empty() && !item->Right.Path.empty() && !item->Left.Link && !item->Right.Link;
}

void TKNMainForm::UpdateShowDifferencesCommand()
{
    QAction* showDifferences = FindAction("actCompareShowDifferences");
    showDifferences->setEnabled(RowHasTwoTexts(TopSelectedRow()) && showDifferences->property("knAvailable").toBool());
}

void TKNMainForm::SetUpdateCommands(bool enabled)
{
    resultUpdatable_ = enabled;
    RefreshResultState();
}

bool TKNMainForm::ResultIsCurrent() const
{
    // A password typed into a field again names the same folder.
    auto same = [](const QLineEdit* edit, const QString& compared) {
        return ShownText(edit->text().toStdString()) == ShownText(compared.toStdString());
    };
    // A two-way update needs the plan only a comparison with a two-way run makes.
    const bool planned = action_ != TKNAction::TwoWay || FileCompare->TwoWay;
    return compared_ && planned && !savedSinceCompare_ && same(edFolderLeft, comparedLeft_) &&
           same(edFolderRight, comparedRight_);
}

// A field edited after a comparison leaves the list describing other folders: it says so, and
// the update commands wait for a comparison of the folders shown (typing the old text back
// makes the result current again).
void TKNMainForm::RefreshResultState()
{
    const bool current = ResultIsCurrent();
    // A two-way run carries out its whole plan: only Update applies.
    const bool twoWay = action_ == TKNAction::TwoWay;
    for (const char* name :
         {"actCompareUpdate", "actCompareUpdateSelection", "actCompareForceUpdate", "actCompareForceUpdateSelection"}) {
        QAction* action = FindAction(name);
        const bool applies = !twoWay || (action == FindAction("actCompareUpdate") && TwoWayBlocked().isEmpty());
        action->setEnabled(resultUpdatable_ && current && applies && action->property("knAvailable").toBool());
    }
    const bool outOfDate = compared_ && !current;
    if (outOfDate && savedSinceCompare_)
        lblOutOfDate->setText(
            tr("Out of date: a file was saved in a differences window since the comparison. Compare (F5) "
               "before updating."));
    else if (outOfDate && !FileCompare->TwoWay && twoWay)
        lblOutOfDate->setText(tr("The list was compared for another action: compare (F5) to see the two-way plan."));
    else if (outOfDate)
        lblOutOfDate->setText(
            tr("Out of date: the list compares \"%1\" and \"%2\", not the folders above. "
               "Compare (F5) before updating.")
                .arg(ShownText(comparedLeft_.toStdString()), ShownText(comparedRight_.toStdString())));
    lblOutOfDate->setVisible(outOfDate);
}

}  // namespace kn
