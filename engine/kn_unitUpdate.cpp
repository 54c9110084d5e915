#include "engine/kn_unitUpdate.h"

#include <cstdio>

#include "engine/kn_unitCompareUpdate.h"
#include "framework/vex_unitFileCopy.h"

namespace kn {

namespace {

std::string Format(const char* pattern, const std::string& a, const std::string& b = {}, const std::string& c = {})
{
    int n = std::snprintf(nullptr, 0, pattern, a.c_str(), b.c_str(), c.c_str());
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, a.c_str(), b.c_str(), c.c_str());
    return HideLocationPasswords(out);  // messages are shown and printed
}

}  // namespace

std::string MsgCopyFailed(const std::string& source, const std::string& dest, const std::string& reason)
{
    return Format("Failed to copy file \"%s\" to \"%s\".\r\n%s", source, dest, reason);
}

std::string MsgCreateFolderFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to create directory \"%s\".\r\n%s", path, reason);
}

std::string MsgDeleteFileFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to delete file \"%s\".\r\n%s", path, reason);
}

std::string MsgDeleteFolderFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to delete directory \"%s\".\r\n%s", path, reason);
}

std::string MsgSetAttributesFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to set attributes of \"%s\".\r\n%s", path, reason);
}

std::string MsgSetTimeFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to set the time of \"%s\".\r\n%s", path, reason);
}

int64_t DosUnixTime(vex::TDateTime time)
{
    const int64_t offset = vex::LocalOffsetNow();
    int64_t local = vex::DateTimeToUnix(time, 0);
    local -= ((local % 2) + 2) % 2;
    return local - offset;
}

bool LocalRootNamesFolder(const std::string& root)
{
    return !root.empty() && root[0] == '/';
}

std::string MsgRootNamesNoFolder(const std::string& root)
{
    return Format("The folder \"%s\" is not an absolute path; nothing is written there.", root);
}

// --- Base ---------------------------------------------------------------------------------

std::string TKNUpdateProvider::DisplayName(const std::string& Path)
{
    return HideLocationPasswords(Path);
}

const std::string& TKNUpdateProvider::WrittenRoot() const
{
    return Owner->RootOf(WritesRight);
}

const std::string& TKNUpdateProvider::ReadRoot() const
{
    return Owner->RootOf(!WritesRight);
}

std::string TKNUpdateProvider::BackupPath(const TKNFileRec& Entry) const
{
    std::string full = PathJoin(Entry.Path, Entry.Name);
    const std::string& root = WrittenRoot();
    std::string relative = full.size() > root.size() ? full.substr(root.size()) : std::string();
    for (char& c : relative)
        if (c == '\\') c = '/';
    std::string path = Owner->BackupFolder + (WritesRight ? "/Right" : "/Left");
    if (relative.empty() || relative[0] != '/') path += '/';
    return path + relative;
}

bool TKNUpdateProvider::BackupWanted(const TKNFileRec& Entry) const
{
    return Owner->Backup && !Entry.Name.empty();
}

bool TKNUpdateProvider::StopRequested() const
{
    return Owner->StopRequested();
}

void TKNUpdateProvider::ReportTransfer()
{
    Owner->ReportFileProgress(*this);
}

std::string TKNUpdateProvider::LocalRootOf(const std::string& Path) const
{
    if (!Owner->BackupFolder.empty() && vex::PathLiesBeneath(Path, Owner->BackupFolder)) return Owner->BackupFolder;
    if (vex::PathLiesBeneath(Path, WrittenRoot())) return WrittenRoot();
    return vex::FolderOfPath(Path);
}

bool TKNUpdateProvider::LocalCopy(const std::string& Source, const std::string& Dest)
{
    std::string reason;
    if (!vex::CopyFileSafe(
            LocalRootOf(Dest), Source, Dest, [this] { return StopRequested(); }, reason)) {
        ErrorText = MsgCopyFailed(Source, Dest, reason);
        return false;
    }
    return true;
}

bool TKNUpdateProvider::LocalBackup(const TKNFileRec& Entry)
{
    if (!BackupWanted(Entry)) return true;
    return LocalCopy(PathJoin(Entry.Path, Entry.Name), BackupPath(Entry));
}

bool TKNUpdateProvider::LocalOperation(const std::string& Path, TLocalOp operation, TPathMessage message)
{
    if (!CheckWrittenRoot([&](const std::string& r) { return message(Path, r); })) return false;
    std::string reason;
    if (operation(WrittenRoot(), Path, reason)) return true;
    ErrorText = message(Path, reason);
    return false;
}

bool TKNUpdateProvider::LocalCreateFolder(const std::string& Path)
{
    return LocalOperation(Path, vex::MakeFolderTree, MsgCreateFolderFailed);
}

bool TKNUpdateProvider::LocalDeleteFolder(const std::string& Path)
{
    return LocalOperation(Path, vex::RemoveFolder, MsgDeleteFolderFailed);
}

bool TKNUpdateProvider::LocalDeleteFile(const std::string& Path)
{
    return LocalOperation(Path, vex::DeleteFileEntry, MsgDeleteFileFailed);
}

bool TKNUpdateProvider::LocalSetTime(const std::string& Path, vex::TDateTime Time)
{
    if (!CheckWrittenRoot([&](const std::string& r) { return MsgSetTimeFailed(Path, r); })) return false;
    std::string reason;
    if (vex::SetLastWriteTime(Path, DosUnixTime(Time), reason)) return true;
    ErrorText = MsgSetTimeFailed(Path, reason);
    return false;
}

bool TKNUpdateProvider::LocalApplyAttributes(const std::string& Path, int Attr)
{
    if (!CheckWrittenRoot([&](const std::string& r) { return MsgSetAttributesFailed(Path, r); })) return false;
    std::string reason;
    if (vex::SetReadOnly(WrittenRoot(), Path, (Attr & faReadOnly) != 0, reason)) return true;
    ErrorText = MsgSetAttributesFailed(Path, reason);
    return false;
}

bool TKNUpdateProvider::KeepReadOnly(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry)
{
    if (!Entry.AttrKnown) return true;
    std::string reason;
    if (vex::SetReadOnly(LocalRootOf(Dest), Dest, (Entry.Attr & faReadOnly) != 0, reason)) return true;
    ErrorText = MsgCopyFailed(Source, Dest, reason);
    return false;
}

// --- Local to local -----------------------------------------------------------------------

bool TKNUpdateProviderFSFS::Backup(const TKNFileRec& Entry)
{
    return LocalBackup(Entry);
}

// The copy keeps the source's permission bits, which carry its read-only attribute, and its
// last-write time, so the follow-up comparison finds the pair equal.
bool TKNUpdateProviderFSFS::CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec&)
{
    if (!CheckWrittenRoot([&](const std::string& r) { return MsgCopyFailed(Source, Dest, r); })) return false;
    return LocalCopy(Source, Dest);
}

bool TKNUpdateProviderFSFS::DeleteFolder(const std::string& Path)
{
    return LocalDeleteFolder(Path);
}

bool TKNUpdateProviderFSFS::DeleteFile(const std::string& Path)
{
    return LocalDeleteFile(Path);
}

// A new folder stays writable even when its source is read-only: its files are copied into it
// after the folder pass.
bool TKNUpdateProviderFSFS::CreateFolder(const std::string& Path, const TKNFileRec&)
{
    return LocalCreateFolder(Path);
}

// --- Dry run ------------------------------------------------------------------------------

bool TKNUpdateProviderDryRun::Tell(const char* what, const std::string& Path)
{
    Describe(what + DisplayName(Path));
    return true;
}

bool TKNUpdateProviderDryRun::CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec&)
{
    Describe("copy " + DisplayName(Source) + " -> " + DisplayName(Dest));
    return true;
}

bool TKNUpdateProviderDryRun::ApplyAttributes(const std::string& Path, int Attr)
{
    return Tell((Attr & faReadOnly) ? "make read-only " : "make writable ", Path);
}

}  // namespace kn
