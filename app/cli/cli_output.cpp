#include "app/cli/cli_output.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "app/cli/cli_rows.h"
#include "framework/vex_unitDateTime.h"

namespace cli {

namespace {

// An entry's time as UTC "YYYY-MM-DDThh:mm:ssZ": the side's exact time when it gave one,
// else the listed local time taken back with this run's offset (as the scan applied it).
std::string UtcTime(const kn::TKNFileRec& rec)
{
    const time_t seconds = rec.MTime != 0 ? rec.MTime : vex::DateTimeToUnix(rec.Time, vex::LocalOffsetNow());
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
    return text;
}

std::string AttributeLetters(uint32_t attr)
{
    std::string letters;
    for (auto [bit, letter] :
         {std::pair{kn::faReadOnly, 'r'}, {kn::faHidden, 'h'}, {kn::faSysFile, 's'}, {kn::faArchive, 'a'}})
        if (attr & bit) letters.push_back(letter);
    return letters;
}

bool Absent(const kn::TKNFileRec& rec)
{
    return rec.Path.empty() && rec.Name.empty();
}

std::string SideJson(const kn::TKNFileRec& rec)
{
    if (Absent(rec)) return "null";
    vex::TJsonObject side;
    if (rec.IsFolder())
        side.Null("size");
    else
        side.Number("size", rec.Size);
    side.String("time", UtcTime(rec)).String("attributes", AttributeLetters(rec.Attr));
    if (rec.Link) side.String("link", rec.LinkTarget());
    return side.Text();
}

const char* DirectionWord(bool writesRight)
{
    return writesRight ? "left-to-right" : "right-to-left";
}

// The words of the records ("copy", "done", "copy-right", ...).
const char* OperationWord(kn::TKNOperation op)
{
    switch (op) {
        case kn::TKNOperation::CopyLeftToRight:
        case kn::TKNOperation::CopyRightToLeft:
            return "copy";
        case kn::TKNOperation::DeleteLeft:
        case kn::TKNOperation::DeleteRight:
            return "delete";
        case kn::TKNOperation::CreateFolder:
            return "mkdir";
        case kn::TKNOperation::RemoveFolder:
            return "rmdir";
        case kn::TKNOperation::SetAttributes:
            return "attributes";
        case kn::TKNOperation::SetTime:
            return "time";
        case kn::TKNOperation::Rename:
        case kn::TKNOperation::MoveAside:
            return "rename";
        case kn::TKNOperation::CopyWithin:
            return "copy-within";
        case kn::TKNOperation::Backup:
            return "backup";
        default:
            break;
    }
    return "none";
}

const char* ResultWord(kn::TKNOpResult result)
{
    switch (result) {
        case kn::TKNOpResult::Planned:
            return "planned";
        case kn::TKNOpResult::Done:
            return "done";
        case kn::TKNOpResult::Failed:
            return "failed";
        case kn::TKNOpResult::Skipped:
            return "skipped";
    }
    return "?";
}

std::string PlanWord(const kn::TKNPlannedOp& plan)
{
    if (plan.IsNothing()) return "none";
    return std::string(OperationWord(plan.Op)) + (plan.WritesRight ? "-right" : "-left");
}

// One row as a JSON object; `plan` is what an update with the command's direction would do.
std::string RowJson(const kn::TMyFileOpt& row, std::size_t leftRootLen, std::size_t rightRootLen,
                    const kn::TKNPlannedOp& plan)
{
    const bool left = !Absent(row.Left);
    const std::string path = left ? RelativeName(row.Left, leftRootLen) : RelativeName(row.Right, rightRootLen);
    return vex::TJsonObject()
        .String("type", "row")
        .String("path", path)
        .String("status", StatusWord(row.Status))
        .Raw("left", SideJson(row.Left))
        .Raw("right", SideJson(row.Right))
        .String("plan", PlanWord(plan))
        .Bool("unread", row.Unlisted)
        .Text();
}

// The folders a comparison could not read, as a JSON array of {"path", "reason"} objects.
std::string UnreadFoldersJson(const kn::TKNFileCompare& engine)
{
    std::string array = "[";
    for (const kn::TKNUnlistedFolder& folder : engine.UnlistedFolders()) {
        if (array.size() > 1) array += ",";
        array += vex::TJsonObject()
                     .String("path", kn::HideLocationPasswords(folder.Path))
                     .String("reason", folder.Reason)
                     .Text();
    }
    return array + "]";
}

}  // namespace

std::vector<CompareOption> OutputOptionList(OutputOptions& options)
{
    auto flag = [](bool& target) {
        return [&target](const std::string&, CompareArgs&, std::string&) { return target = true; };
    };
    return {
        {"--format", "FORMAT", "text (the default), tsv or jsonl: how rows and operations are printed",
         [&options](const std::string& v, CompareArgs&, std::string& e) {
             return ParseOutputFormat(v, options.Format, e);
         }},
        {"--quiet", nullptr, "print only failures and the summary", flag(options.Quiet)},
        {"--progress", nullptr, "show a live progress line on standard error when it is a terminal",
         flag(options.Progress)},
    };
}

bool ParseOutputFormat(const std::string& text, OutputFormat& format, std::string& error)
{
    if (text == "text")
        format = OutputFormat::Text;
    else if (text == "tsv")
        format = OutputFormat::Tsv;
    else if (text == "jsonl")
        format = OutputFormat::Jsonl;
    else {
        error = "expected text, tsv or jsonl, not \"" + text + "\"";
        return false;
    }
    return true;
}

std::string OperationText(const kn::TKNOpEvent& event, const std::string& leftRoot, const std::string& rightRoot)
{
    // A server location shows "/" for "\\" and no password; a local path as it is.
    auto shownAt = [&](bool right, std::string_view rel) {
        const std::string& root = right ? rightRoot : leftRoot;
        std::string text = kn::HideLocationPasswords(root);
        if (kn::IsRemotePath(root)) std::replace(text.begin(), text.end(), '\\', '/');
        if (rel.ends_with('/')) rel.remove_suffix(1);
        return kn::PathJoin(text, rel);
    };
    auto shown = [&](bool right) { return shownAt(right, event.Path); };
    const std::string written = shown(event.WritesRight);
    // An operation that ends at another name shows both, done or planned.
    const bool moves = event.Op == kn::TKNOperation::Rename || event.Op == kn::TKNOperation::MoveAside ||
                       event.Op == kn::TKNOperation::CopyWithin;
    const std::string movedTo = moves ? " -> " + shownAt(event.WritesRight, event.NewPath) : std::string();
    if (event.Result != kn::TKNOpResult::Planned) return EscapeText(written + movedTo);
    const kn::TKNFileRec* read = &(event.WritesRight ? event.Row.Left : event.Row.Right);
    std::string text;
    switch (event.Op) {
        case kn::TKNOperation::CopyLeftToRight:
        case kn::TKNOperation::CopyRightToLeft:
            text = "copy " + shown(!event.WritesRight) + " -> " + written;
            break;
        case kn::TKNOperation::DeleteLeft:
        case kn::TKNOperation::DeleteRight:
            text = "delete " + written;
            break;
        case kn::TKNOperation::CreateFolder:
            text = "create folder " + written;
            break;
        case kn::TKNOperation::RemoveFolder:
            text = "remove folder " + written;
            break;
        case kn::TKNOperation::SetAttributes:
            text = ((read->Attr & kn::faReadOnly) ? "make read-only " : "make writable ") + written;
            break;
        case kn::TKNOperation::SetTime:
            text = "set time of " + written;
            break;
        case kn::TKNOperation::Rename:
        case kn::TKNOperation::MoveAside:
            text = "rename " + written + movedTo;
            break;
        case kn::TKNOperation::CopyWithin:
            text = "copy " + written + movedTo;
            break;
        case kn::TKNOperation::Backup:
            text = "backup " + written;
            break;
        default:
            text = written;
            break;
    }
    return EscapeText(text);
}

std::string OperationTsv(const kn::TKNOpEvent& event)
{
    std::string line = std::string(OperationWord(event.Op)) + "\t" + DirectionWord(event.WritesRight) + "\t" +
                       ResultWord(event.Result) + "\t" + std::to_string(event.Bytes) + "\t" + EscapeText(event.Path);
    line += "\t";
    if (event.Result == kn::TKNOpResult::Failed || event.Result == kn::TKNOpResult::Skipped)
        line += kn::SideErrorWord(event.ErrorKind);
    return line + "\t" + EscapeText(event.Message);
}

std::string OperationJson(const kn::TKNOpEvent& event)
{
    vex::TJsonObject object;
    object.String("type", "op")
        .String("op", OperationWord(event.Op))
        .String("path", event.Path)
        .String("direction", DirectionWord(event.WritesRight))
        .Number("bytes", event.Bytes)
        .String("result", ResultWord(event.Result));
    if (!event.NewPath.empty()) object.String("to", event.NewPath);
    if (event.Result == kn::TKNOpResult::Failed || event.Result == kn::TKNOpResult::Skipped)
        object.Raw("error", vex::TJsonObject()
                                .String("kind", kn::SideErrorWord(event.ErrorKind))
                                .String("message", event.Message)
                                .Text());
    else
        object.Null("error");
    return object.Text();
}

void AddCounts(vex::TJsonObject& object, const RunCounts& counts)
{
    const kn::TKNPlanTotals& t = counts.Totals;
    object.Number("copied", t.FilesToCopy)
        .Number("deleted", t.FilesToDelete)
        .Number("folders_created", t.FoldersToCreate)
        .Number("folders_removed", t.FoldersToRemove)
        .Number("attributes", t.AttributeChanges)
        .Number("times", t.TimesToSet)
        .Number("renamed", t.Renames)
        .Number("failed", counts.Failed)
        .Number("bytes", t.BytesToCopy);
    if (counts.BackupFolder.empty())
        object.Null("backup_folder");
    else
        object.String("backup_folder", counts.BackupFolder);
}

std::string SummaryJson(const SummaryFacts& facts, const kn::TKNFileCompare& engine)
{
    vex::TJsonObject object;
    object.String("type", "summary").Number("version", kJsonSchemaVersion).String("command", facts.Command);
    if (facts.Counts) {
        object.Bool("dry_run", facts.DryRun);
        AddCounts(object, *facts.Counts);
    }
    object.Number("rows", static_cast<int64_t>(facts.Rows)).Raw("unread_folders", UnreadFoldersJson(engine));
    object.Bool("stopped", facts.Stopped);
    if (facts.Error.empty())
        object.Null("error");
    else
        object.String("error", kn::HideLocationPasswords(facts.Error));
    return object.Number("exit", facts.Exit).Text();
}

void PrintRowRecords(const OutputOptions& options, const kn::TKNFileCompare& engine, kn::TKNAction action, bool force)
{
    if (options.Quiet) return;
    if (options.Format != OutputFormat::Jsonl) {
        PrintRows(stdout, engine);
        return;
    }
    const kn::TKNPairCaps caps = kn::PairCapsOf(engine);
    for (const auto& row : engine.Items)
        WriteLine(RowJson(*row, engine.LeftRootLen, engine.RightRootLen, kn::PlanRow(*row, action, force, caps)));
}

int Summarize(const OutputOptions& options, const SummaryFacts& facts, const kn::TKNFileCompare& engine)
{
    if (options.Format == OutputFormat::Jsonl) WriteLine(SummaryJson(facts, engine));
    return facts.Exit;
}

void WriteLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace cli
