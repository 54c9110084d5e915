#include "ui/kn_unitOptionsPanel.h"

#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>

#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitText.h"
#include "ui/kn_unitTwoWayView.h"

// The browse bitmap lives in this static library, whose resources must be registered by hand.
static void InitPanelResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(kn_unitOptionsPanel);
        return true;
    }();
    (void)done;
}

namespace kn {

namespace {

// The attribute boxes show these bits of a set; 0x10 (folders) follows "Recursive" instead.
constexpr uint8_t kBitReadOnly = 0x01;
constexpr uint8_t kBitHidden = 0x02;
constexpr uint8_t kBitSystem = 0x04;
constexpr uint8_t kBitFolder = 0x10;
constexpr uint8_t kBitArchive = 0x20;

std::string ToBytes(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

template <std::size_t N>
QString FieldText(const char (&field)[N])
{
    return QString::fromStdString(vex::GetField(field));
}

QDateTimeEdit* NewDatePicker(QWidget* parent)
{
    auto* picker = new QDateTimeEdit(parent);
    picker->setTimeSpec(Qt::UTC);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));
    return picker;
}

QLabel* NewLabel(const QString& caption, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

// A label and its control on one line of `grid`, across both of its columns.
void AddLabelledLine(QGridLayout* grid, int row, QLabel* label, QWidget* control)
{
    auto* line = new QHBoxLayout;
    line->addWidget(label);
    line->addWidget(control);
    line->addStretch(1);
    grid->addLayout(line, row, 0, 1, 2);
}

}  // namespace

QDateTime DateTimeToPicker(double value)
{
    vex::DateTimeFields f = vex::DecodeDateTime(value);
    return QDateTime(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second, f.millisecond), Qt::UTC);
}

double PickerToDateTime(const QDateTime& value)
{
    QDate d = value.date();
    QTime t = value.time();
    return vex::EncodeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}

int64_t SizeTextToInt(const QString& text, int64_t fallback)
{
    std::string bytes = text.trimmed().toStdString();
    const char* first = bytes.data();
    const char* last = first + bytes.size();
    if (first != last && *first == '+') ++first;
    int64_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last) return fallback;
    return value;
}

TKNOptionsPanel::TKNOptionsPanel(QWidget* parent) : QWidget(parent)
{
    InitPanelResources();
    CreateControls();
    SetTabOrder();
    ConnectEdits();
    ApplyEnablingRules();
}

void TKNOptionsPanel::CreateControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CreateFolderRows());
    layout->addWidget(CreateAttributeGroups());
    layout->addWidget(CreateRangeRows());
    layout->addWidget(CreateOptionGroups());
    layout->addStretch(1);
}

QWidget* TKNOptionsPanel::CreateFolderRows()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* fsModel = new QFileSystemModel(box);
    fsModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    fsModel->setRootPath(QString());
    auto addFolderRow = [&](int row, const QString& caption, QLineEdit*& edit, QLabel*& label, QToolButton*& button,
                            const QString& browseTitle) {
        edit = new QLineEdit(box);
        edit->setCompleter(new QCompleter(fsModel, edit));
        label = NewLabel(caption, edit, box);
        button = new QToolButton(box);
        button->setIcon(QIcon(QStringLiteral(":/KNBMOPEN")));
        button->setToolTip(browseTitle);
        connect(button, &QToolButton::clicked, this, [this, edit, browseTitle] { BrowseFolder(edit, browseTitle); });
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1, 1, 3);
        grid->addWidget(button, row, 4);
    };
    addFolderRow(0, tr("Left Folder:"), edLeftFolder, lbLeftFolder, sbtnLeftFolder, tr("Browse for left folder."));
    addFolderRow(1, tr("Right Folder:"), edRightFolder, lbRightFolder, sbtnRightFolder, tr("Browse for right folder."));
    edFilter = new QLineEdit(box);
    lbFilter = NewLabel(tr("Filter:"), edFilter, box);
    edExcludeFilter = new QLineEdit(box);
    lbExcludeFilter = NewLabel(tr("Exclude Filter:"), edExcludeFilter, box);
    grid->addWidget(lbFilter, 2, 0);
    grid->addWidget(edFilter, 2, 1);
    grid->addWidget(lbExcludeFilter, 2, 2);
    grid->addWidget(edExcludeFilter, 2, 3, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return box;
}

QWidget* TKNOptionsPanel::CreateAttributeGroups()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto addGroup = [&](const QString& title, QCheckBox*& readOnly, QCheckBox*& hidden, QCheckBox*& system,
                        QCheckBox*& archive) {
        auto* group = new QGroupBox(title, box);
        auto* items = new QHBoxLayout(group);
        readOnly = new QCheckBox(tr("ReadOnly"), group);
        hidden = new QCheckBox(tr("Hidden"), group);
        system = new QCheckBox(tr("System"), group);
        archive = new QCheckBox(tr("Archive"), group);
        for (QCheckBox* cb : {readOnly, hidden, system, archive}) items->addWidget(cb);
        row->addWidget(group);
        return group;
    };
    gbAttributes = addGroup(tr(" Attributes "), cbReadOnly, cbHidden, cbSystem, cbArchive);
    gbExcludeAttributes =
        addGroup(tr(" Exclude Attributes "), cbReadOnlyExclude, cbHiddenExclude, cbSystemExclude, cbArchiveExclude);
    return box;
}

QWidget* TKNOptionsPanel::CreateRangeRows()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    edMinSize = new QLineEdit(box);
    lbMinSize = NewLabel(tr("Minimize Size:"), edMinSize, box);
    edMaxSize = new QLineEdit(box);
    lbMaxSize = NewLabel(tr("Maximize Size:"), edMaxSize, box);
    dtBegin = NewDatePicker(box);
    // The lowest date stands for no begin: nothing is too old.
    dtBegin->setSpecialValueText(tr("None"));
    dtBegin->calendarWidget()->installEventFilter(this);
    lbBeginDate = NewLabel(tr("Begin Date:"), dtBegin, box);
    dtEnd = NewDatePicker(box);
    lbEndDate = NewLabel(tr("End Date:"), dtEnd, box);
    grid->addWidget(lbMinSize, 0, 0);
    grid->addWidget(edMinSize, 0, 1);
    grid->addWidget(lbMaxSize, 0, 2);
    grid->addWidget(edMaxSize, 0, 3);
    grid->addWidget(lbBeginDate, 1, 0);
    grid->addWidget(dtBegin, 1, 1);
    grid->addWidget(lbEndDate, 1, 2);
    grid->addWidget(dtEnd, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return box;
}

// The default action, and under it how a two-way run settles files changed on both sides.
void TKNOptionsPanel::CreateActionGroup(QWidget* box)
{
    rgAction = new QGroupBox(tr(" Default Action "), box);
    rgActionItems = new QButtonGroup(rgAction);
    auto* actions = new QVBoxLayout(rgAction);
    const QString actionCaptions[kActionCount] = {tr("Left To Right"), tr("Right To Left"), tr("Auto"), tr("Two-way")};
    for (int i = 0; i < kActionCount; ++i) {
        auto* item = new QRadioButton(actionCaptions[i], rgAction);
        rgActionItems->addButton(item, i);
        actions->addWidget(item);
    }
    cbConflictPolicy = new QComboBox(rgAction);
    for (const TKNConflictChoice& choice : kConflictChoices) {
        cbConflictPolicy->addItem(tr(choice.Caption));
        cbConflictPolicy->setItemData(cbConflictPolicy->count() - 1, tr(choice.Hint), Qt::ToolTipRole);
    }
    lbConflictPolicy = NewLabel(tr("Co&nflicts:"), cbConflictPolicy, rgAction);
    auto* conflicts = new QHBoxLayout;
    conflicts->addWidget(lbConflictPolicy);
    conflicts->addWidget(cbConflictPolicy, 1);
    actions->addLayout(conflicts);
}

QWidget* TKNOptionsPanel::CreateOptionGroups()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);

    CreateActionGroup(box);
    gbCompareOptions = new QGroupBox(tr(" Compare Options "), box);
    auto* checks = new QGridLayout(gbCompareOptions);
    cbCheckFilter = new QCheckBox(tr("Filter"), gbCompareOptions);
    cbCheckAttr = new QCheckBox(tr("Attribute"), gbCompareOptions);
    cbCheckDate = new QCheckBox(tr("Date"), gbCompareOptions);
    cbCheckSize = new QCheckBox(tr("Size"), gbCompareOptions);
    cbRecursive = new QCheckBox(tr("Recursive"), gbCompareOptions);
    checks->addWidget(cbCheckFilter, 0, 0);
    checks->addWidget(cbCheckAttr, 1, 0);
    checks->addWidget(cbCheckDate, 2, 0);
    checks->addWidget(cbCheckSize, 0, 1);
    checks->addWidget(cbRecursive, 1, 1);
    cbCompareContent = new QCheckBox(tr("Compare file contents"), gbCompareOptions);
    checks->addWidget(cbCompareContent, 2, 1);
    spIgnoreHours = new QSpinBox(gbCompareOptions);
    spIgnoreHours->setRange(0, kMaxIgnoreHours);
    lbIgnoreHours = NewLabel(tr("Ignore time shifts of whole hours up to"), spIgnoreHours, gbCompareOptions);
    AddLabelledLine(checks, 3, lbIgnoreHours, spIgnoreHours);
    cbLinks = new QComboBox(gbCompareOptions);
    // In TKNLinkPolicy's order.
    cbLinks->addItem(tr("Copy them as links"));
    cbLinks->addItem(tr("Leave them out"));
    cbLinks->addItem(tr("Follow them inside the folder"));
    cbLinks->setToolTip(
        tr("Nothing is ever written through a link; a followed link that leads out of the folder is "
           "left out"));
    lbLinks = NewLabel(tr("Symbolic &links"), cbLinks, gbCompareOptions);
    AddLabelledLine(checks, 4, lbLinks, cbLinks);

    gbUpdateOptions = new QGroupBox(tr(" Update Options "), box);
    auto* update = new QVBoxLayout(gbUpdateOptions);
    spTransfers = new QSpinBox(gbUpdateOptions);
    spTransfers->setRange(1, kMaxTransfers);
    spTransfers->setToolTip(tr("Operations carried out at once, each with its own connection to a server"));
    lbTransfers = NewLabel(tr("Transfers at once"), spTransfers, gbUpdateOptions);
    update->addWidget(lbTransfers);
    update->addWidget(spTransfers);
    spBandwidth = new QSpinBox(gbUpdateOptions);
    spBandwidth->setRange(0, kMaxBandwidthKiB);
    spBandwidth->setSingleStep(64);
    spBandwidth->setSuffix(tr(" KiB/s"));
    spBandwidth->setSpecialValueText(tr("No limit"));
    spBandwidth->setToolTip(tr("The bytes a second all transfers of an update move together (at least 16 KiB/s)"));
    lbBandwidth = NewLabel(tr("Bandwidth limit"), spBandwidth, gbUpdateOptions);
    update->addWidget(lbBandwidth);
    update->addWidget(spBandwidth);
    update->addStretch(1);

    row->addWidget(rgAction);
    row->addWidget(gbCompareOptions, 1);
    row->addWidget(gbUpdateOptions);
    return box;
}

void TKNOptionsPanel::SetTabOrder()
{
    QWidget* order[] = {edLeftFolder,
                        sbtnLeftFolder,
                        edRightFolder,
                        sbtnRightFolder,
                        edFilter,
                        edExcludeFilter,
                        cbReadOnly,
                        cbHidden,
                        cbSystem,
                        cbArchive,
                        cbReadOnlyExclude,
                        cbHiddenExclude,
                        cbSystemExclude,
                        cbArchiveExclude,
                        edMinSize,
                        edMaxSize,
                        dtBegin,
                        dtEnd,
                        rgActionItems->button(0),
                        rgActionItems->button(1),
                        rgActionItems->button(2),
                        rgActionItems->button(3),
                        cbConflictPolicy,
                        cbCheckFilter,
                        cbCheckAttr,
                        cbCheckDate,
                        cbCheckSize,
                        cbRecursive,
                        cbCompareContent,
                        spIgnoreHours,
                        cbLinks,
                        spTransfers,
                        spBandwidth};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TKNOptionsPanel::ConnectEdits()
{
    for (QLineEdit* edit : {edLeftFolder, edRightFolder, edFilter, edExcludeFilter, edMinSize, edMaxSize})
        connect(edit, &QLineEdit::textChanged, this, &TKNOptionsPanel::EmitEdited);
    for (QDateTimeEdit* picker : {dtBegin, dtEnd})
        connect(picker, &QDateTimeEdit::dateTimeChanged, this, &TKNOptionsPanel::EmitEdited);
    for (QCheckBox* box :
         {cbReadOnly, cbHidden, cbSystem, cbArchive, cbReadOnlyExclude, cbHiddenExclude, cbSystemExclude,
          cbArchiveExclude, cbCheckFilter, cbCheckAttr, cbCheckDate, cbCheckSize, cbRecursive, cbCompareContent})
        connect(box, &QCheckBox::toggled, this, &TKNOptionsPanel::EmitEdited);
    for (QSpinBox* spin : {spIgnoreHours, spTransfers, spBandwidth})
        connect(spin, &QSpinBox::valueChanged, this, &TKNOptionsPanel::EmitEdited);
    for (QComboBox* combo : {cbConflictPolicy, cbLinks})
        connect(combo, &QComboBox::currentIndexChanged, this, &TKNOptionsPanel::EmitEdited);
    connect(rgActionItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) EmitEdited();
    });
    // The rules follow the boxes however their state changes, by a click or by loading.
    for (QCheckBox* box : {cbCheckFilter, cbCheckAttr, cbCheckDate, cbCheckSize})
        connect(box, &QCheckBox::toggled, this, &TKNOptionsPanel::ApplyEnablingRules);
}

void TKNOptionsPanel::ApplyEnablingRules()
{
    const bool filter = cbCheckFilter->isChecked();
    edFilter->setEnabled(filter);
    edExcludeFilter->setEnabled(filter);
    const bool attr = cbCheckAttr->isChecked();
    for (QCheckBox* box : {cbReadOnly, cbHidden, cbSystem, cbArchive, cbReadOnlyExclude, cbHiddenExclude,
                           cbSystemExclude, cbArchiveExclude})
        box->setEnabled(attr);
    const bool date = cbCheckDate->isChecked();
    dtBegin->setEnabled(date);
    dtEnd->setEnabled(date);
    const bool size = cbCheckSize->isChecked();
    edMinSize->setEnabled(size);
    edMaxSize->setEnabled(size);
}

void TKNOptionsPanel::BrowseFolder(QLineEdit* edit, const QString& title)
{
    QString folder = edit->text();
    if (vex::BrowseForFolder(this, title, folder)) edit->setText(folder);
}

// The calendar of a begin date of "None" opens at this month, not at the lowest date's.
bool TKNOptionsPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched == dtBegin->calendarWidget() &&
        dtBegin->dateTime() == dtBegin->minimumDateTime()) {
        const QDate today = QDate::currentDate();
        dtBegin->calendarWidget()->setCurrentPage(today.year(), today.month());
    }
    return QWidget::eventFilter(watched, event);
}

void TKNOptionsPanel::EmitEdited()
{
    if (FUpdateCount == 0) emit Edited();
}

void TKNOptionsPanel::LoadOptions(const TKNOptionsRec& rec)
{
    ++FUpdateCount;
    edLeftFolder->setText(FieldText(rec.LeftFolder));
    edRightFolder->setText(FieldText(rec.RightFolder));
    edFilter->setText(FieldText(rec.Filter));
    edExcludeFilter->setText(FieldText(rec.ExcludeFilter));
    auto showSet = [](uint8_t set, QCheckBox* readOnly, QCheckBox* hidden, QCheckBox* system, QCheckBox* archive) {
        readOnly->setChecked(set & kBitReadOnly);
        hidden->setChecked(set & kBitHidden);
        system->setChecked(set & kBitSystem);
        archive->setChecked(set & kBitArchive);
    };
    showSet(rec.Attributes, cbReadOnly, cbHidden, cbSystem, cbArchive);
    showSet(rec.ExcludeAttributes, cbReadOnlyExclude, cbHiddenExclude, cbSystemExclude, cbArchiveExclude);
    edMinSize->setText(QString::number(rec.MinSize));
    edMaxSize->setText(QString::number(rec.MaxSize));
    FLoadedBegin = rec.BeginDate;
    dtBegin->setDateTime(FLoadedBegin == vex::kNoTime ? dtBegin->minimumDateTime() : DateTimeToPicker(FLoadedBegin));
    FLoadedBeginShown = dtBegin->dateTime();
    dtEnd->setDateTime(DateTimeToPicker(rec.EndDate));
    // An unknown stored action selects Auto, as the update reads it.
    rgActionItems->button(kn::ActionIndex(rec.Action))->setChecked(true);
    cbConflictPolicy->setCurrentIndex(ConflictChoiceIndex(StoredConflictPolicy(rec.ConflictPolicy)));
    cbCheckFilter->setChecked(rec.CheckFilter);
    cbCheckAttr->setChecked(rec.CheckAttr);
    cbCheckDate->setChecked(rec.CheckDate);
    cbCheckSize->setChecked(rec.CheckSize);
    cbRecursive->setChecked(rec.Recursive);
    spTransfers->setValue(TransfersOf(rec.Transfers));
    spBandwidth->setValue(static_cast<int>(std::min<int64_t>((BandwidthLimitOf(rec) + 1023) / 1024, kMaxBandwidthKiB)));
    cbCompareContent->setChecked(rec.CompareContent);
    spIgnoreHours->setValue(std::min<int>(rec.IgnoreHours, kMaxIgnoreHours));
    cbLinks->setCurrentIndex(static_cast<int>(LinkPolicyOf(rec)));
    ApplyEnablingRules();
    --FUpdateCount;
}

int TKNOptionsPanel::ActionIndex() const
{
    int id = rgActionItems->checkedId();
    return id < 0 ? kn::ActionIndex(TKNAction::Auto) : id;
}

void TKNOptionsPanel::StoreOptions(TKNOptionsRec& rec) const
{
    // SetField cuts each text to its field: 255 bytes, never inside a UTF-8 sequence.
    vex::SetField(rec.LeftFolder, ToBytes(edLeftFolder));
    vex::SetField(rec.RightFolder, ToBytes(edRightFolder));
    vex::SetField(rec.Filter, ToBytes(edFilter));
    vex::SetField(rec.ExcludeFilter, ToBytes(edExcludeFilter));
    rec.Action = ActionOf(ActionIndex());
    rec.ConflictPolicy = static_cast<uint8_t>(kConflictChoices[std::max(0, cbConflictPolicy->currentIndex())].Policy);
    auto readSet = [](const QCheckBox* readOnly, const QCheckBox* hidden, const QCheckBox* system,
                      const QCheckBox* archive) {
        return static_cast<uint8_t>((readOnly->isChecked() ? kBitReadOnly : 0) |
                                    (hidden->isChecked() ? kBitHidden : 0) | (system->isChecked() ? kBitSystem : 0) |
                                    (archive->isChecked() ? kBitArchive : 0));
    };
    rec.Attributes = readSet(cbReadOnly, cbHidden, cbSystem, cbArchive) | (cbRecursive->isChecked() ? kBitFolder : 0);
    rec.ExcludeAttributes = readSet(cbReadOnlyExclude, cbHiddenExclude, cbSystemExclude, cbArchiveExclude);
    const QDateTime begin = dtBegin->dateTime();
    rec.BeginDate = begin == FLoadedBeginShown            ? FLoadedBegin
                    : begin == dtBegin->minimumDateTime() ? vex::kNoTime
                                                          : PickerToDateTime(begin);
    rec.EndDate = PickerToDateTime(dtEnd->dateTime());
    rec.MinSize = SizeTextToInt(edMinSize->text(), 0);
    rec.MaxSize = SizeTextToInt(edMaxSize->text(), -1);
    rec.CheckFilter = cbCheckFilter->isChecked();
    rec.CheckAttr = cbCheckAttr->isChecked();
    rec.CheckDate = cbCheckDate->isChecked();
    rec.CheckSize = cbCheckSize->isChecked();
    rec.Recursive = cbRecursive->isChecked();
    SetTransfers(rec, spTransfers->value());
    // A limit below the slowest one taken is held at it, as the command line refuses it.
    const int64_t kib = spBandwidth->value();
    rec.BandwidthLimit = kib == 0 ? 0 : std::max<int64_t>(kib * 1024, kMinBandwidthLimit);
    rec.CompareContent = cbCompareContent->isChecked();
    rec.IgnoreHours = static_cast<uint8_t>(spIgnoreHours->value());
    rec.Links = static_cast<uint8_t>(std::max(0, cbLinks->currentIndex()));
}

}  // namespace kn
