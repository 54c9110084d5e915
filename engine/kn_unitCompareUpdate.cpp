#include "engine/kn_unitCompareUpdate.h"

#include "framework/vex_unitProgramFolder.h"
#include "framework/vex_unitThreads.h"

#include <sys/stat.h>

#include <cstdio>
#include <exception>

namespace kn {

std::string BackupFolderName(const std::string& programFolder, double now)
{
    vex::DateTimeFields f = vex::DecodeDateTime(now);
    char name[16];
    std::snprintf(name, sizeof name, "%02d%02d%02d%02d%02d%02d", f.year % 100, f.month, f.day, f.hour, f.minute,
                  f.second);
    return programFolder + "/" + name;
}

// Two runs within one second would share a folder, and the second would overwrite the first
// one's backups: a later run adds "-2", "-3", ... to the name instead.
static std::string FreshBackupFolder(const std::string& base)
{
    std::string folder = base;
    struct stat st;
    for (int n = 2; lstat(folder.c_str(), &st) == 0; ++n) folder = base + "-" + std::to_string(n);
    return folder;
}

TKNUpdateThread::TKNUpdateThread(TKNFileCompare& fileCompare, uint8_t direction, bool force,
                                 std::vector<int> indexes, bool backup)
    : FileCompare(fileCompare),
      Direction(direction),
      Force(force),
      Indexes(std::move(indexes)),
      Backup(backup),
      LeftRootText(fileCompare.GetLeftFolder()),
      RightRootText(fileCompare.GetRightFolder())
{
}

TKNUpdateThread::~TKNUpdateThread() { Join(); }

void TKNUpdateThread::Start()
{
    Thread = std::thread([this] { Execute(); });
}

void TKNUpdateThread::Join()
{
    if (Thread.joinable()) Thread.join();
}

bool TKNUpdateThread::StopRequested() const { return FileCompare.Stop != 0; }

const TMyFileOpt* TKNUpdateThread::Row(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= FileCompare.Items.size()) return nullptr;
    return FileCompare.Items[static_cast<size_t>(index)].get();
}

void TKNUpdateThread::ReportFileProgress(const TKNUpdateProvider& provider)
{
    TKNFileCompare& engine = FileCompare;
    if (!engine.OnFileProgress) return;
    const int64_t total = provider.TransferTotal, done = provider.TransferDone;
    vex::Deliver(engine.ProgressDelivery, &engine.OnFileProgress,
                 [this, &engine, name = provider.CurrentName, total, done] {
                     CurrentName = name;
                     TransferTotal = total;
                     TransferDone = done;
                     engine.OnFileProgress(&engine, CurrentName, TransferTotal, TransferDone);
                 });
}

void TKNUpdateThread::CreateProviders(bool multi)
{
    const bool leftFtp = FileCompare.LeftList.IsFtp(), rightFtp = FileCompare.RightList.IsFtp();
    auto make = [&](bool writesRight, const char* suffix) {
        std::unique_ptr<TKNUpdateProvider> provider = CreateUpdateProvider(leftFtp, rightFtp, writesRight);
        if (FileCompare.UpdateDryRun)
            provider = std::make_unique<TKNUpdateProviderDryRun>(std::move(provider), [this](const std::string& text) {
                if (FileCompare.OnDryRunOperation)
                    vex::Synchronize([&] { FileCompare.OnDryRunOperation(&FileCompare, text); });
            });
        provider->WritesRight = writesRight;
        provider->Owner = this;
        provider->TempSuffix = suffix;
        return provider;
    };
    ProviderLR = make(true, ".L1$");
    ProviderRL = make(false, ".R1$");
    if (multi) {
        ProviderLR2 = make(true, ".L2$");
        ProviderRL2 = make(false, ".R2$");
    }
}

// Connects, runs the three passes and disconnects in every case.
void TKNUpdateThread::Passes()
{
    if (Backup && !FileCompare.UpdateDryRun) BackupFolder = FreshBackupFolder(BackupFolderName(vex::ProgramFolder(), vex::Now()));
    DoneCount = 0;
    const bool multi = FileCompare.MultiThread;
    CreateProviders(multi);
    struct Disconnector {
        TKNUpdateThread& run;
        ~Disconnector()
        {
            run.ProviderRL->Disconnect();
            run.ProviderLR->Disconnect();
        }
    } disconnector{*this};
    ProviderLR->Connect(LeftRootText, RightRootText);
    ProviderRL->Connect(LeftRootText, RightRootText);
    TKNUpdateWorker worker(*this, *ProviderLR, *ProviderRL);
    FolderPass(worker);
    if (multi) MultiThreadFilePass();
    else FilePass(worker);
    DeletePass(worker);
}

// A failure that escapes the passes (a side that cannot be reached, above all) ends the run
// early; it is reported like any failed operation, so a run that did nothing never looks done.
void TKNUpdateThread::Execute()
{
    std::string failure;
    try {
        Passes();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Unknown error";
    }
    if (!failure.empty()) {
        TKNFileCompare& engine = FileCompare;
        vex::Synchronize([&] {
            ErrorText = failure;
            if (engine.OnError) engine.OnError(&engine, ErrorText);
        });
    }
    Finish();
}

// The end events, on the main thread: the follow-up comparison takes the engine's State over,
// or the State-0 report ends the run.
void TKNUpdateThread::Finish()
{
    TKNFileCompare& engine = FileCompare;
    vex::Synchronize([&engine] {
        if (engine.OnUpdateDone) engine.OnUpdateDone(&engine);
        if (engine.CompareAfterUpdate) {
            engine.State = 0;
            engine.Compare(false);
            return;
        }
        if (engine.OnProgress) engine.OnProgress(&engine, 0, std::string());
        engine.State = 0;
    });
}

// --- The engine's entry ---------------------------------------------------------------------

void TKNFileCompare::Update(uint8_t Direction, bool Force, const std::vector<int>& Indexes, bool Wait,
                           bool AfterUpdate, bool Backup)
{
    // The rows must not change under a run: nothing starts while a comparison or update runs.
    if (State != 0) return;
    // The previous run has reported its end (State 0); its thread is at most returning.
    if (updateThread_) updateThread_->Join();
    Stop = 0;
    CompareAfterUpdate = AfterUpdate;
    State = 4;
    if (OnUpdateStart) OnUpdateStart(this);
    updateThread_ = std::make_shared<TKNUpdateThread>(*this, Direction, Force, Indexes, Backup);
    updateThread_->Start();
    if (Wait) WaitIdle();
}

}  // namespace kn
