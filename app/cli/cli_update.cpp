// kestrune-cli update: compares two folder trees, carries out every row in one direction,
// prints each operation as it happens and every failure on standard error, then prints what a
// new comparison finds, as `compare` does. Ctrl+C stops the run between operations (and
// inside large copies and transfers).
#include <cstdio>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_preset.h"
#include "app/cli/cli_compare_run.h"
#include "app/cli/cli_update_report.h"
#include "engine/kn_unitCompare.h"

namespace {

const char* const kUsageHead =
    "Usage: kestrune-cli update [OPTIONS] LEFT RIGHT --action DIRECTION [--force] [--backup]\n"
    "                           [--multi-thread] [--dry-run]\n"
    "Compares LEFT and RIGHT (local folders, FTP or SFTP locations), then brings them into line:\n"
    "  left-to-right  copies entries that are newer or only on the left to the right;\n"
    "  right-to-left  the same from right to left;\n"
    "  auto           each entry goes from its newer side (the default).\n"
    "With --force a fixed direction also overwrites newer entries, deletes entries that only the\n"
    "written side has (folders deepest first), and copies attributes. With --backup every file\n"
    "that is overwritten or deleted is first copied to the program folder, under a folder named\n"
    "after the run's date and time (yymmddhhnnss) with the sub-folders Left and Right.\n"
    "Each operation's path is printed on standard output as it is carried out; failures go to\n"
    "standard error and the run goes on. Then the rows of a new comparison are printed as\n"
    "`kestrune-cli compare` prints them.\n"
    "With --content, a pair of files with equal content whose times differ is not copied: the\n"
    "written side takes the source's time (\"set time of ...\" in a dry run).\n"
    "\nOptions:\n";

const char* const kUsageTail =
    "  --help                        show this text\n"
    "\nCtrl+C stops the update; a file being copied is left as it was.\n"
    "\nNothing in a folder that could not be read is changed: such folders are listed on standard\n"
    "error. Roots of which one lies inside the other are refused.\n"
    "\nExit status: 0 every operation succeeded, 1 an operation failed or a folder could not be\n"
    "read, 2 usage error or missing folder, 130 stopped by Ctrl+C.\n";

constexpr uint8_t kNoDirection = 0xff;

struct UpdateFlags {
    uint8_t Direction = kNoDirection;  // unset: the options' (or preset's) default action
    bool Force = false;
    bool MultiThread = false;
    bool Backup = false;
    bool DryRun = false;
};

bool ParseDirection(const std::string& value, UpdateFlags& flags, std::string& error)
{
    if (value == "left-to-right") flags.Direction = kn::caLeftToRight;
    else if (value == "right-to-left") flags.Direction = kn::caRightToLeft;
    else if (value == "auto") flags.Direction = kn::caAuto;
    else {
        error = "expected left-to-right, right-to-left or auto, not \"" + value + "\"";
        return false;
    }
    return true;
}

std::vector<cli::CompareOption> UpdateOptions(UpdateFlags& flags, std::string& presetName)
{
    auto flag = [](bool& target) {
        return [&target](const std::string&, cli::CompareArgs&, std::string&) { return target = true; };
    };
    return {
        cli::PresetOption(presetName),
        {"--action", "DIRECTION", "left-to-right, right-to-left or auto (default: the preset's, else auto)",
         [&flags](const std::string& v, cli::CompareArgs&, std::string& e) { return ParseDirection(v, flags, e); }},
        {"--force", nullptr, "also overwrite newer entries and delete one-sided ones", flag(flags.Force)},
        {"--backup", nullptr, "keep what is overwritten or deleted in the program folder", flag(flags.Backup)},
        {"--multi-thread", nullptr, "copy files on two workers at once", flag(flags.MultiThread)},
        {"--dry-run", nullptr, "print the operations an update would do, change nothing", flag(flags.DryRun)},
    };
}

// Runs the comparison and the update on this thread's hand-over queue; Ctrl+C stops either.
// Returns the number of failed operations.
int CompareAndUpdate(kn::TKNFileCompare& engine, const UpdateFlags& flags)
{
    int failures = 0;
    cli::PrintUpdateOperations(engine, failures);
    cli::InterruptStops stops(engine);
    // Content-equal pairs whose times differ stay rows, so the update sets their times; the
    // follow-up comparison lists real differences only.
    engine.KeepContentEqualRows = engine.CompareContent;
    engine.Compare(true);
    engine.KeepContentEqualRows = false;
    if (!cli::InterruptStops::Interrupted() && engine.ErrorText.empty()) {
        engine.UpdateDryRun = flags.DryRun;
        engine.Update(flags.Direction, flags.Force, cli::AllRows(engine), true, !flags.DryRun,
                      flags.Backup && !flags.DryRun);
    }
    return failures;
}

const cli::CompareCommandText kText = {"update", kUsageHead, kUsageTail};

int RunUpdate(std::vector<std::string> argv)
{
    UpdateFlags flags;
    std::string presetName;
    const std::vector<cli::CompareOption> extra = UpdateOptions(flags, presetName);
    cli::CompareCommandLine line;
    if (auto done = cli::ReadCompareCommandLine(kText, argv, extra, presetName, line)) return *done;
    const uint8_t action = line.Args.Options.Action;
    if (flags.Direction == kNoDirection) flags.Direction = action <= kn::caAuto ? action : uint8_t(kn::caAuto);

    kn::TKNFileCompare engine;
    cli::SetUpEngine(engine, line);
    engine.MultiThread = engine.MultiThread || flags.MultiThread;
    const int failures = CompareAndUpdate(engine, flags);
    if (auto failed = cli::ReportCompared(kText, engine)) return *failed;
    // Rows in folders that could not be read were left alone: the run did not do everything.
    return failures == 0 && engine.UnlistedCount() == 0 ? cli::ExitOk : cli::ExitFound;
}

const cli::CliCommandRegistration updateCommand("update", "bring two folder trees into line", RunUpdate);

}  // namespace
