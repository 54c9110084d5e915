// The main window: the two folder fields with the action button between them, the result
// list, the status bar with its gauge, every command of the program, and the preset and batch
// menus. It turns the comparison engine's reports into status texts and the result list.
#pragma once

#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "config/kn_unitConfig.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitProgressText.h"
#include "engine/kn_unitRun.h"
#include "engine/kn_unitTwoWayPlan.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/qt/vex_frmSDIMain.h"
#include "framework/qt/vex_unitSysImageList.h"
#include "framework/vex_unitSecretStore.h"
#include "ui/kn_frmBatchSummary.h"
#include "ui/kn_unitResultSort.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTableView;
class QToolButton;

namespace kn {

struct TDiffWindowSettings;
class TKNConfirmForm;
class TKNFailuresForm;
class TKNResultModel;

class TKNMainForm : public vex::TvexSDIMainForm {
    Q_OBJECT
public:
    explicit TKNMainForm(TKNConfig& config, QWidget* parent = nullptr);
    ~TKNMainForm() override;

    // False when the start ended at the password prompt: the window must not be shown, and it
    // writes nothing when it goes.
    bool Started() const { return started_; }
    bool IsBusy() const { return Busy; }
    bool IsExpertMode() const { return ExpertMode; }
    TKNAction CurrentAction() const { return action_; }
    TKNFileCompare& Engine() { return *FileCompare; }
    TKNResultModel& ResultModel() { return *model_; }
    // The failures window of the last update with failures, while it is open.
    TKNFailuresForm* FailuresWindow() const;
    // The summary of the last batch run, while it is open.
    TKNBatchSummaryForm* BatchSummaryWindow() const { return batchSummary_; }
    // The update step's row indexes, in the order the update handles them.
    const std::vector<int>& UpdateSelection() const { return Selection; }
    // True when the list belongs to the folders in the two fields: the update commands act
    // only then, so no update ever writes a folder the fields do not show.
    bool ResultIsCurrent() const;
    // Applies the program's parameters (those after the program name), once, before the window
    // is shown. False when the program must end now ("/d").
    bool ApplyCommandLine(const QStringList& params);
    // Writes the settings to the configuration file now: the folders, the direction, the
    // window's place and size, and the size and options of the differences windows still open.
    // The program's end does it too; a logout or SIGTERM asks for it before.
    void SaveSettings();

    // The window's controls, by their names.
    QLineEdit* edFolderLeft = nullptr;
    QLineEdit* edFolderRight = nullptr;
    QToolButton* sbtnFolderLeft = nullptr;
    // The update direction, labelled ("Left to Right", ...); F4 picks the next one.
    QComboBox* cbAction = nullptr;
    QToolButton* sbtnFolderRight = nullptr;
    QToolButton* sbtnStop = nullptr;
    QTableView* ListViewFiles = nullptr;
    // Shown above the list while the folder fields name other folders than its result.
    QLabel* lblOutOfDate = nullptr;
    // What the marks of the list mean, below it.
    QLabel* lblLegend = nullptr;
    // Above the list while it shows a two-way plan: its totals, or why there is none or why it
    // must not run.
    QLabel* lblTwoWay = nullptr;
    // Settle the conflict of the current row (context menu, Ctrl+1..5), in the order of
    // kConflictChoices.
    QAction* actSettle[5] = {};
    QProgressBar* Gauge = nullptr;

protected:
    void ShowHint(const QString& hint) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Creation (kn_frmMain.cpp).
    void CreateFolderPanel();
    void CreateListView();
    void CreateStatusBar();
    void BindEngineEvents();
    void RestorePlacement();
    void AddFolderCompletion(QLineEdit* edit);
    void LayoutFolderPanel();
    void SavePlacement();

    // Operations shared by the commands.
    void SetBusy();
    void ClearBusy();
    void UpdateCaption();
    void StoreFolders();
    void SetAction(TKNAction action);
    // The direction after `action` in the direction control's order.
    static TKNAction NextAction(TKNAction action);
    void ShowStatus(const QString& text, const QString& detail);
    void ShowGauge(int phase, int64_t maximum, int64_t position, const QString& text);
    // The transfers in work moved on: the gauge, and the run's bytes, rate and time left.
    void ShowBytes(const std::string& name, int64_t total, int64_t done);
    // Hands the record to the engine and shows its action and folders.
    void ApplyOptions(const TKNOptionsRec& options);
    // `options` as the engine takes them: the folders with their passwords from the secret
    // store, asked for when an FTP login has none there.
    TKNOptionsRec EngineOptions(const TKNOptionsRec& options);
    void AskServerPassword(const std::string& location);
    void StopAndWait();

    // Commands (kn_frmMainActions.cpp).
    using Handler = void (TKNMainForm::*)();
    static Handler FindHandler(const QString& name);
    void CreateActions();
    void CreateMenus();
    void actSelectLeftFolderExecute();
    void actSelectRightFolderExecute();
    void actCompareActionExecute();
    void actCompareCompareExecute();
    void actCompareStopExecute();
    void actCompareExitExecute();
    void actHelpContentExecute();
    void actHelpIndexExecute();
    void actHelpNormalModeExecute();
    void actHelpExpertModeExecute();
    void actHelpAboutExecute();
    // Windows of their own (kn_frmMainDialogs.cpp).
    void actCompareConfigurationExecute();
    void actPresetManagerExecute();
    void actBatchManagerExecute();
    void actHelpPasswordExecute();
    void actCompareShowDifferencesExecute();
    // Opens the differences of one row (Enter, a double click); nothing for a one-sided row.
    void ShowDifferencesOfRow(int row);
    bool PasswordAllowsStart() const;
    // A differences window's size and settings, kept for the next one.
    void KeepDifferencesSettings(QSize size, const TDiffWindowSettings& settings);
    void SelectFolder(QLineEdit* edit, const QString& title);
    void SetExpertMode(bool expert);

    // Engine events.
    void FileCompareCompareStart();
    void FileCompareCompareDone();
    void FileCompareProgress(uint8_t state, const std::string& path);
    void FileCompareError(const std::string& message);
    // What a stopped comparison got to, for the status bar.
    QString StoppedText() const;

    // The result list (kn_frmMainList.cpp).
    void ListViewFilesColumnClick(int column);
    // The differences command follows the top selected row in view order.
    int TopSelectedRow() const;
    bool RowHasTwoTexts(int row) const;
    void UpdateShowDifferencesCommand();
    void SortRows();
    void UpdateSortImages();
    void ResizeColumns();
    // A notice line above the list (out of date, the two-way plan): wrapped, in colours that
    // read in every theme; again when the theme changes.
    static void StyleNotice(QLabel* label);
    // The update commands act on the last result when it has rows and is current.
    void SetUpdateCommands(bool enabled);
    void RefreshResultState();

    // Two-way runs (kn_frmMainTwoWay.cpp). Every comparison of the window starts here: with
    // Two-way chosen it is made with a two-way run, which plans from its listings. Roots that
    // are one folder or one inside the other are refused (false) with a box: no comparison.
    bool StartCompare(bool wait);
    void CreateTwoWayControls();
    // The plan's totals, or why there is none or why it must not run, above the list.
    void ShowTwoWayPlan();
    // Why the shown two-way plan cannot be carried out; empty when it can.
    QString TwoWayBlocked() const;
    bool DoTwoWayUpdate(bool Wait, bool CompareAfterUpdate, bool Confirm);
    void ListTwoWayOperations(TKNConfirmForm& form);
    void ShowListMenu(const QPoint& position);
    // Settles the conflict of the list's current row; false when it is no conflict.
    bool SettleCurrentConflict(TKNConflictPolicy policy);

    // The update step and its commands (kn_frmMainUpdate.cpp). DoUpdate is false when the
    // confirmation was cancelled and no update started.
    bool DoUpdate(bool Force, bool SelectionOnly, bool Wait, bool CompareAfterUpdate, bool Confirm);
    void CreateRunLayer();
    // The run layer's guard over the plan: asked (or, when `ask` is false, refused) when it would
    // delete most of a side; then the pair's lock. False when the update must not start.
    bool UpdateAllowed(const TKNPlanTotals& plan, TKNAction direction, bool ask);
    // Asked (or refused when `ask` is false) when `deletes` are most of the `entries` of `folder`.
    bool MassDeletionAllowed(int64_t deletes, int64_t entries, const std::string& folder, bool ask);
    void ListPlannedOperations(TKNConfirmForm& form, TKNAction direction, bool force);
    void FileCompareUpdateDone();
    void CollectSelection(bool selectionOnly);
    void actCompareUpdateExecute();
    void actCompareUpdateSelectionExecute();
    void actCompareForceUpdateExecute();
    void actCompareForceUpdateSelectionExecute();

    // The command line (kn_frmMainCommandLine.cpp).
    void CommandLineCompare(const QStringList& folders);
    void CommandLineDelete(const QStringList& folders);

    // Running a batch (kn_frmMainBatch.cpp).
    void RunBatch(const QString& name);
    // Runs one step and tells what became of it.
    TKNBatchStep RunBatchEntry(const TKNBatchEntry& entry);
    void ShowBatchSummary(const QString& name, const std::vector<TKNBatchStep>& steps, bool stopped);
    bool BatchPause();
    bool BatchStopped() const;

    // Presets and batches (kn_frmMainPresets.cpp).
    void BuildPresetMenus();
    void BuildBatchMenus();
    void RunPreset(const QString& name);

    TKNConfig& Config;
    // The window's own store when the program gave the configuration none (tests): passwords
    // then stay in memory for the window's life.
    std::unique_ptr<vex::TvexSecretStore> ownSecrets_;
    std::unique_ptr<TKNFileCompare> FileCompare;
    // The run layer the window's comparisons and updates go through (kn_frmMainUpdate.cpp): the
    // roots' check, the pair's lock while an update runs, the deletion guard.
    std::unique_ptr<TKNRunObserver> runObserver_;
    std::unique_ptr<TKNRun> run_;
    bool askDeletion_ = true;  // the guard asks (an update) or refuses (a batch step)
    vex::TvexSysImageList SysImage;
    TKNResultModel* model_ = nullptr;
    // Keeps the rows' ranks between clicks on the column headers; forgets them when a
    // comparison starts.
    TKNResultSorter sorter_;
    QWidget* panelFolder = nullptr;
    QMenu* menuPreset = nullptr;
    QMenu* menuBatch = nullptr;
    QMenu* popupPresets = nullptr;
    QMenu* popupBatches = nullptr;

    bool Busy = false;
    // Set while a batch runs: the end of each of its comparisons leaves the window busy.
    bool HoldBusy = false;
    bool ExpertMode = false;
    // Row indexes handed to the running update (its gauge counts them).
    std::vector<int> Selection;
    QString BaseCaption;
    QString PresetName;
    TKNAction action_ = TKNAction::Auto;
    // The field texts the engine's folders were last taken from, and whether its last result
    // can be updated (it has rows, and no stopped update has changed the disk since).
    QString comparedLeft_, comparedRight_;
    bool compared_ = false;
    // A differences window saved a file since the comparison started: the rows may be stale.
    bool savedSinceCompare_ = false;
    bool resultUpdatable_ = false;
    QString lastSearched_;  // the folder the running comparison listed last
    // The update's reporting: its failure boxes silenced by the user, the window closing, the
    // Done line the status bar ends the update with, and whether a comparison follows it.
    bool silenceErrors_ = false;
    bool closing_ = false;
    bool deleteAllAsked_ = false;  // "/d": the user has agreed to delete everything
    QString updateDone_;
    // Why the last DoUpdate started nothing, for a batch step's summary.
    QString updateRefused_;
    // The steps the running update's gauge counts: rows, or a two-way plan's operations.
    int64_t updateSteps_ = 0;
    // The running update's figures: ended operations, bytes in work.
    TKNUpdateProgress progress_;
    bool updateTwoWay_ = false;
    // The engine's threads use its two-way run: from a comparison's start to its end event, and
    // while an update runs. The window reads the run only when they do not.
    bool runInUse_ = false;
    // The options of the engine's folders (ApplyOptions): a two-way run keys its state with them.
    TKNOptionsRec comparedOptions_{};
    bool awaitingFollowUp_ = false;
    QPointer<TKNFailuresForm> failuresForm_;
    QPointer<TKNBatchSummaryForm> batchSummary_;
    bool started_ = false;
    bool placementApplied_ = false;
};

}  // namespace kn
