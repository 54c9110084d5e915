#include "ui/kn_frmBatchMgr.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstring>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitText.h"
#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

const QString kPresetItemMime = QStringLiteral("application/x-kestrune-preset-item");

// Each item of the batch's preset list carries its own entry.
TKNBatchEntry ItemEntry(const QListWidgetItem* item)
{
    TKNBatchEntry entry{};
    QByteArray bytes = item->data(Qt::UserRole).toByteArray();
    std::memcpy(&entry, bytes.constData(), std::min<std::size_t>(sizeof entry, bytes.size()));
    return entry;
}

void SetItemEntry(QListWidgetItem* item, const TKNBatchEntry& entry)
{
    item->setData(Qt::UserRole, QByteArray(reinterpret_cast<const char*>(&entry), sizeof entry));
}

QListWidgetItem* AddEntryItem(QListWidget* list, const std::string& presetName, TKNAction action, uint8_t force)
{
    TKNBatchEntry entry{};
    vex::SetField(entry.PresetName, presetName);
    entry.Action = action;
    entry.Force = force;
    auto* item = new QListWidgetItem(QString::fromStdString(presetName), list);
    SetItemEntry(item, entry);
    return item;
}

TKNNamedListTexts BatchTexts()
{
    constexpr std::size_t kNameMaxBytes = sizeof(TKNBatchRec::Name) - 1;
    TKNNamedListTexts texts;
    texts.Noun = TKNBatchManagerForm::tr("batch");
    texts.PluralNoun = TKNBatchManagerForm::tr("batches");
    texts.FirstName = QStringLiteral("Batch1");
    texts.HelpKeyword = QStringLiteral("BatchMgr");
    texts.NameMaxBytes = kNameMaxBytes;
    texts.AddMaxLength = static_cast<int>(kNameMaxBytes);
    texts.RenameMaxLength = static_cast<int>(kNameMaxBytes) + 1;
    return texts;
}

void PrepareList(QListWidget* list)
{
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

}  // namespace

TKNPresetDragList::TKNPresetDragList(QWidget* parent) : QListWidget(parent)
{
    PrepareList(this);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // The drop handler moves the item itself; a copy action keeps Qt from removing it again.
    setDefaultDropAction(Qt::CopyAction);
}

QStringList TKNPresetDragList::mimeTypes() const
{
    return {kPresetItemMime};
}

QMimeData* TKNPresetDragList::mimeData(const QList<QListWidgetItem*>&) const
{
    return DragData();
}

QMimeData* TKNPresetDragList::DragData() const
{
    auto* dragged = new QMimeData;
    dragged->setData(kPresetItemMime, objectName().toUtf8());
    return dragged;
}

bool TKNPresetDragList::FromPartner(const QMimeData* dragged) const
{
    return FPartner != nullptr && dragged != nullptr && dragged->hasFormat(kPresetItemMime) &&
           dragged->data(kPresetItemMime) == FPartner->objectName().toUtf8();
}

void TKNPresetDragList::dragEnterEvent(QDragEnterEvent* event)
{
    if (FromPartner(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TKNPresetDragList::dragMoveEvent(QDragMoveEvent* event)
{
    if (FromPartner(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TKNPresetDragList::dropEvent(QDropEvent* event)
{
    if (!FromPartner(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit PresetDropped();
}

TKNBatchManagerForm::TKNBatchManagerForm(TKNConfig& config, QWidget* parent)
    : TKNNamedListEdit(config, BatchTexts(), parent), FBatches(config.Batches.Clone())
{
    setWindowTitle(tr("Batch Manager"));
    auto* top = new QHBoxLayout;
    top->addWidget(CreateListColumn(), 3);
    top->addWidget(CreateEntryColumn(), 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(CreateButtons(tvBatches));
    ConnectEvents();
    FillList(QString());
    tvBatches->setFocus();
}

QWidget* TKNBatchManagerForm::CreateListColumn()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    tvBatches = new QListWidget(box);
    PrepareList(tvBatches);
    lbBatches = new QLabel(tr("Batches:"), box);
    lbBatches->setBuddy(tvBatches);
    tvPresetOfBatch = new TKNPresetDragList(box);
    tvPresetOfBatch->setObjectName(QStringLiteral("tvPresetOfBatch"));
    lbPresetOfBatch = new QLabel(tr("Presets of batch:"), box);
    lbPresetOfBatch->setBuddy(tvPresetOfBatch);
    tvPresets = new TKNPresetDragList(box);
    tvPresets->setObjectName(QStringLiteral("tvPresets"));
    tvPresetOfBatch->SetPartner(tvPresets);
    tvPresets->SetPartner(tvPresetOfBatch);
    for (QListWidget* list :
         {tvBatches, static_cast<QListWidget*>(tvPresetOfBatch), static_cast<QListWidget*>(tvPresets)})
        list->setMinimumSize(150, 240);
    grid->addWidget(lbBatches, 0, 0);
    grid->addWidget(tvBatches, 1, 0);
    // The keyboard's way to edit a batch (a drag or a double click does the same).
    auto* moves = new QVBoxLayout;
    btnAddEntry = new QPushButton(tr("< A&dd"), box);
    btnRemoveEntry = new QPushButton(tr("Re&move >"), box);
    btnUp = new QPushButton(tr("&Up"), box);
    btnDown = new QPushButton(tr("Do&wn"), box);
    btnAddEntry->setToolTip(tr("Add the preset chosen on the right to the batch"));
    btnRemoveEntry->setToolTip(tr("Remove the chosen step from the batch"));
    btnUp->setToolTip(tr("Run the chosen step earlier"));
    btnDown->setToolTip(tr("Run the chosen step later"));
    moves->addStretch(1);
    for (QPushButton* b : {btnAddEntry, btnRemoveEntry, btnUp, btnDown}) {
        b->setAutoDefault(false);
        moves->addWidget(b);
    }
    moves->addStretch(1);
    grid->addWidget(lbPresetOfBatch, 0, 1);
    grid->addWidget(tvPresetOfBatch, 1, 1);
    grid->addLayout(moves, 1, 2);
    grid->addWidget(tvPresets, 1, 3);
    setTabOrder(tvPresetOfBatch, btnAddEntry);
    setTabOrder(btnAddEntry, btnRemoveEntry);
    setTabOrder(btnRemoveEntry, btnUp);
    setTabOrder(btnUp, btnDown);
    setTabOrder(btnDown, tvPresets);
    return box;
}

QWidget* TKNBatchManagerForm::CreateEntryColumn()
{
    auto* box = new QWidget(this);
    box->setMinimumWidth(260);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    auto addFolder = [&](const QString& caption, QLabel*& label, QLineEdit*& edit) {
        edit = new QLineEdit(box);
        label = new QLabel(caption, box);
        label->setBuddy(edit);
        // For information only: the folders belong to the preset.
        edit->setEnabled(false);
        label->setEnabled(false);
        column->addWidget(label);
        column->addWidget(edit);
    };
    addFolder(tr("Left Folder:"), lbLeftFolder, edLeftFolder);
    addFolder(tr("Right Folder:"), lbRightFolder, edRightFolder);

    rgAction = new QGroupBox(tr(" Default Action "), box);
    rgActionItems = new QButtonGroup(rgAction);
    auto* actions = new QVBoxLayout(rgAction);
    const QString captions[kActionCount] = {tr("Left To Right"), tr("Right To Left"), tr("Auto"), tr("Two-way")};
    for (int i = 0; i < kActionCount; ++i) {
        auto* item = new QRadioButton(captions[i], rgAction);
        rgActionItems->addButton(item, i);
        actions->addWidget(item);
    }
    cbForce = new QCheckBox(tr("Force Update"), box);
    column->addWidget(rgAction);
    column->addWidget(cbForce);
    column->addStretch(1);
    return box;
}

void TKNBatchManagerForm::ConnectEvents()
{
    connect(tvBatches, &QListWidget::currentRowChanged, this, [this] {
        if (FFilling == 0) tvBatchesChange();
    });
    connect(tvPresetOfBatch, &QListWidget::currentRowChanged, this, [this] {
        if (FFilling == 0) tvPresetOfBatchChange();
        UpdateEntryButtons();
    });
    connect(tvPresets, &QListWidget::currentRowChanged, this, [this] { UpdateEntryButtons(); });
    connect(btnAddEntry, &QPushButton::clicked, this, &TKNBatchManagerForm::AddPresetToBatch);
    connect(btnRemoveEntry, &QPushButton::clicked, this, &TKNBatchManagerForm::RemovePresetFromBatch);
    connect(btnUp, &QPushButton::clicked, this, [this] { MoveEntry(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { MoveEntry(1); });
    connect(tvPresets, &QListWidget::itemDoubleClicked, this, &TKNBatchManagerForm::AddPresetToBatch);
    connect(tvPresetOfBatch, &TKNPresetDragList::PresetDropped, this, &TKNBatchManagerForm::AddPresetToBatch);
    connect(tvPresetOfBatch, &QListWidget::itemDoubleClicked, this, &TKNBatchManagerForm::RemovePresetFromBatch);
    connect(tvPresets, &TKNPresetDragList::PresetDropped, this, &TKNBatchManagerForm::RemovePresetFromBatch);
    // Only the user's clicks edit the entry; showing an entry sets the controls silently.
    connect(rgActionItems, &QButtonGroup::idClicked, this, &TKNBatchManagerForm::rgActionClick);
    connect(cbForce, &QCheckBox::clicked, this, &TKNBatchManagerForm::rgActionClick);
}

void TKNBatchManagerForm::FillList(const QString& select)
{
    ++FFilling;
    const int chosen = ShowNames(tvBatches, FBatches, select);
    const bool any = FBatches.Count() > 0;
    for (QWidget* w : std::initializer_list<QWidget*>{lbPresetOfBatch, tvPresetOfBatch, tvPresets, btnDelete, btnRename,
                                                      rgAction, cbForce})
        w->setEnabled(any);
    UpdateEntryButtons();
    if (any) tvBatches->setCurrentRow(chosen);
    --FFilling;
    if (any) tvBatchesChange();
}

void TKNBatchManagerForm::tvBatchesChange()
{
    QListWidgetItem* item = tvBatches->currentItem();
    if (item == nullptr) return;
    if (const TKNBatchRec* batch = FBatches.Find(item->text().toStdString())) {
        FRecord = *batch;
        FillPresetLists();
    }
}

void TKNBatchManagerForm::FillPresetLists()
{
    ++FFilling;
    tvPresetOfBatch->clear();
    tvPresets->clear();
    const TKNPresetList& presets = FConfig.Presets;
    // The batch's entries in their stored order, which is the order they run in; entries whose
    // preset is gone are dropped. The other presets follow by name.
    const int used = UsedEntries(FRecord);
    for (int k = 0; k < used; ++k)
        if (const TKNOptionsRec* preset = presets.Find(vex::GetField(FRecord.Entries[k].PresetName)))
            AddEntryItem(tvPresetOfBatch, vex::GetField(preset->Name), FRecord.Entries[k].Action,
                         FRecord.Entries[k].Force);
    for (int p = 0; p < presets.Count(); ++p) {
        const std::string name = presets.Names(p);
        if (tvPresetOfBatch->findItems(QString::fromStdString(name), Qt::MatchFixedString).isEmpty())
            tvPresets->addItem(QString::fromStdString(name));
    }
    const bool hasEntries = tvPresetOfBatch->count() > 0;
    rgAction->setEnabled(hasEntries);
    cbForce->setEnabled(hasEntries);
    if (hasEntries) tvPresetOfBatch->setCurrentRow(0);
    if (tvPresets->count() > 0) tvPresets->setCurrentRow(0);
    --FFilling;
    if (hasEntries) tvPresetOfBatchChange();
    UpdateEntryButtons();
}

void TKNBatchManagerForm::ShowNoEntry()
{
    edLeftFolder->clear();
    edRightFolder->clear();
    const bool hasEntries = tvPresetOfBatch->count() > 0;
    rgAction->setEnabled(hasEntries);
    cbForce->setEnabled(hasEntries);
}

void TKNBatchManagerForm::tvPresetOfBatchChange()
{
    ShowNoEntry();
    QListWidgetItem* item = tvPresetOfBatch->currentItem();
    if (item == nullptr) return;
    TKNBatchEntry entry = ItemEntry(item);
    rgActionItems->button(ActionIndex(entry.Action))->setChecked(true);
    cbForce->setChecked(entry.Force != 0);
    // A two-way run carries out its whole plan: there is nothing to force.
    cbForce->setEnabled(entry.Action != TKNAction::TwoWay);
    if (const TKNOptionsRec* preset = FConfig.Presets.Find(item->text().toStdString())) {
        edLeftFolder->setText(ShownText(vex::GetField(preset->LeftFolder)));
        edRightFolder->setText(ShownText(vex::GetField(preset->RightFolder)));
    }
}

void TKNBatchManagerForm::rgActionClick()
{
    QListWidgetItem* item = tvPresetOfBatch->currentItem();
    if (item == nullptr || rgActionItems->checkedId() < 0) return;
    TKNBatchEntry entry = ItemEntry(item);
    entry.Action = ActionOf(rgActionItems->checkedId());
    entry.Force = cbForce->isChecked();
    cbForce->setEnabled(entry.Action != TKNAction::TwoWay);
    SetItemEntry(item, entry);
    RebuildAndStore(true);
}

void TKNBatchManagerForm::RebuildAndStore(bool store)
{
    std::memset(reinterpret_cast<char*>(&FRecord) + sizeof FRecord.Name, 0, sizeof FRecord - sizeof FRecord.Name);
    FRecord.EntryCount = static_cast<uint8_t>(tvPresetOfBatch->count());
    for (int k = 0; k < tvPresetOfBatch->count(); ++k) FRecord.Entries[k] = ItemEntry(tvPresetOfBatch->item(k));
    QListWidgetItem* batch = tvBatches->currentItem();
    if (!store || batch == nullptr) return;
    if (TKNBatchRec* stored = FBatches.Find(batch->text().toStdString())) *stored = FRecord;
}

void TKNBatchManagerForm::AddPresetToBatch()
{
    QListWidgetItem* item = tvPresets->currentItem();
    if (item == nullptr) return;
    if (tvPresetOfBatch->count() >= kMaxBatchEntries) {
        vex::ErrorBox(this, tr("A batch can hold at most %1 presets!").arg(kMaxBatchEntries));
        return;
    }
    std::string name = item->text().toStdString();
    const TKNOptionsRec* preset = FConfig.Presets.Find(name);
    TKNAction action = preset != nullptr ? preset->Action : TKNAction::Auto;
    delete item;
    QListWidgetItem* added = AddEntryItem(tvPresetOfBatch, name, action, 0);
    RebuildAndStore(true);
    tvPresetOfBatch->setCurrentItem(added);
    tvPresetOfBatch->scrollToItem(added);
    UpdateEntryButtons();
}

void TKNBatchManagerForm::RemovePresetFromBatch()
{
    QListWidgetItem* item = tvPresetOfBatch->currentItem();
    if (item == nullptr) return;
    tvPresets->addItem(item->text());
    ++FFilling;
    delete item;
    --FFilling;
    RebuildAndStore(true);
    if (tvPresetOfBatch->count() > 0) {
        tvPresetOfBatch->setCurrentRow(0);
        tvPresetOfBatchChange();
    } else {
        ShowNoEntry();
    }
    UpdateEntryButtons();
}

// Up (-1) or down (+1) by one place: the batch runs its entries in the listed order.
void TKNBatchManagerForm::MoveEntry(int by)
{
    const int row = tvPresetOfBatch->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= tvPresetOfBatch->count()) return;
    ++FFilling;
    QListWidgetItem* item = tvPresetOfBatch->takeItem(row);
    tvPresetOfBatch->insertItem(to, item);
    tvPresetOfBatch->setCurrentItem(item);
    --FFilling;
    RebuildAndStore(true);
    UpdateEntryButtons();
}

void TKNBatchManagerForm::UpdateEntryButtons()
{
    const int row = tvPresetOfBatch->currentRow();
    const bool any = FBatches.Count() > 0;
    btnAddEntry->setEnabled(any && tvPresets->currentItem() != nullptr);
    btnRemoveEntry->setEnabled(any && row >= 0);
    btnUp->setEnabled(any && row > 0);
    btnDown->setEnabled(any && row >= 0 && row + 1 < tvPresetOfBatch->count());
}

bool TKNBatchManagerForm::NameTaken(const std::string& name) const
{
    return FBatches.Find(name) != nullptr;
}

void TKNBatchManagerForm::AddRecord(const std::string& name)
{
    // The new batch starts with the entries shown now.
    RebuildAndStore(false);
    vex::SetField(FRecord.Name, name);
    FBatches.Add(FRecord);
}

void TKNBatchManagerForm::DeleteRecord(int row)
{
    FBatches.Delete(row);
}

void TKNBatchManagerForm::RenameRecord(int row, const std::string& name)
{
    FBatches.Rename(row, name);
}

bool TKNBatchManagerForm::StoreList()
{
    FConfig.Batches.Assign(FBatches);
    return FConfig.SaveBatches();
}

}  // namespace kn
