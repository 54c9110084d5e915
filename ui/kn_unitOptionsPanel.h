// The option controls that edit one TKNOptionsRec: folders, filters, attribute sets, size and
// date ranges, default action and the compare and update switches. The configuration dialog
// shows them for the current options and the preset manager for the selected preset, so both
// dialogs share this one panel and its conversions.
#pragma once

#include <QDateTime>
#include <QWidget>

#include "engine/kn_unitCompareOptions.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace kn {

// Date-time doubles and the pickers' values. The pickers work in UTC so that no daylight-saving
// gap of the local zone can shift a stored value; the double is already local wall time.
QDateTime DateTimeToPicker(double value);
double PickerToDateTime(const QDateTime& value);

// A signed 64-bit decimal text (blanks around it allowed); `fallback` when it is not one.
int64_t SizeTextToInt(const QString& text, int64_t fallback);

class TKNOptionsPanel : public QWidget {
    Q_OBJECT

public:
    explicit TKNOptionsPanel(QWidget* parent = nullptr);

    // Fills every control from `rec`; the enabling rules follow. Emits no Edited.
    void LoadOptions(const TKNOptionsRec& rec);
    // Writes every field the controls show into `rec`: texts cut to their fields, the folder bit
    // of Attributes from "Recursive", invalid sizes as 0 (minimum) and -1 (maximum). Name and
    // the reserved bytes are left as they are.
    void StoreOptions(TKNOptionsRec& rec) const;
    int ActionIndex() const;

    QLabel* lbLeftFolder;
    QLineEdit* edLeftFolder;
    QToolButton* sbtnLeftFolder;
    QLabel* lbRightFolder;
    QLineEdit* edRightFolder;
    QToolButton* sbtnRightFolder;
    QLabel* lbFilter;
    QLineEdit* edFilter;
    QLabel* lbExcludeFilter;
    QLineEdit* edExcludeFilter;
    QGroupBox* gbAttributes;
    QCheckBox* cbReadOnly;
    QCheckBox* cbHidden;
    QCheckBox* cbSystem;
    QCheckBox* cbArchive;
    QGroupBox* gbExcludeAttributes;
    QCheckBox* cbReadOnlyExclude;
    QCheckBox* cbHiddenExclude;
    QCheckBox* cbSystemExclude;
    QCheckBox* cbArchiveExclude;
    QLabel* lbMinSize;
    QLineEdit* edMinSize;
    QLabel* lbMaxSize;
    QLineEdit* edMaxSize;
    QLabel* lbBeginDate;
    QDateTimeEdit* dtBegin;
    QLabel* lbEndDate;
    QDateTimeEdit* dtEnd;
    QGroupBox* rgAction;
    QButtonGroup* rgActionItems;
    // How a two-way run settles a conflict (kConflictChoices order); only Two-way uses it.
    QLabel* lbConflictPolicy;
    QComboBox* cbConflictPolicy;
    QGroupBox* gbCompareOptions;
    QCheckBox* cbCheckFilter;
    QCheckBox* cbCheckAttr;
    QCheckBox* cbCheckDate;
    QCheckBox* cbCheckSize;
    QCheckBox* cbRecursive;
    QCheckBox* cbCompareContent;
    QLabel* lbIgnoreHours;
    QSpinBox* spIgnoreHours;
    QLabel* lbLinks;
    QComboBox* cbLinks;  // a TKNLinkPolicy by its index
    QGroupBox* gbUpdateOptions;
    QLabel* lbTransfers;
    QSpinBox* spTransfers;
    QLabel* lbBandwidth;
    QSpinBox* spBandwidth;  // KiB a second, 0: no limit

signals:
    // A change the user made to any control; never raised while LoadOptions fills them.
    void Edited();

private:
    void CreateControls();
    QWidget* CreateFolderRows();
    QWidget* CreateAttributeGroups();
    QWidget* CreateRangeRows();
    QWidget* CreateOptionGroups();
    void CreateActionGroup(QWidget* box);
    void SetTabOrder();
    void ConnectEdits();
    void ApplyEnablingRules();
    void BrowseFolder(QLineEdit* edit, const QString& title);
    void EmitEdited();
    bool eventFilter(QObject* watched, QEvent* event) override;

    int FUpdateCount = 0;
    // A begin date without a bound (vex::kNoTime) shows as "None", the picker's lowest value.
    // While the picker shows what was loaded, the loaded value is stored back exactly.
    double FLoadedBegin = 0;
    QDateTime FLoadedBeginShown;
};

}  // namespace kn
