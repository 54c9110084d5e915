// kestrune-cli presets / batches: the named presets and batches of the configuration, opened
// (created or upgraded) exactly as the desktop program opens it at start.
#include <cstdio>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_options.h"
#include "app/cli/cli_usage.h"
#include "config/kn_unitConfig.h"
#include "framework/vex_unitText.h"

namespace {

const char* const PresetsUsage =
    "Usage: kestrune-cli presets [--config-dir DIR]\n"
    "Prints the name of every preset, one a line, in name order.\n";

const char* const BatchesUsage =
    "Usage: kestrune-cli batches [--config-dir DIR]\n"
    "Prints every batch name, then its entries indented by two blanks as\n"
    "PRESET<TAB>ACTION<TAB>FORCE (ACTION is left-to-right, right-to-left or auto; FORCE is\n"
    "force or empty).\n";

// Only --help is accepted; returns -1 to go on, otherwise the exit status.
int CheckNoArguments(const char* command, const char* usage, const std::vector<std::string>& args)
{
    if (args.empty()) return -1;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(usage, stdout);
        return cli::ExitOk;
    }
    return cli::UsageError(command, "unexpected argument \"" + args[0] + "\"");
}

std::unique_ptr<kn::TKNConfig> OpenConfig(const char* command)
{
    auto config = kn::TKNConfig::OpenProgramConfig();
    if (!config->ConfigFile.Ok() || !config->HeaderLoaded())
        std::fprintf(stderr, "kestrune-cli %s: warning: the configuration cannot be used (%s); it is left as it is\n",
                     command, config->ConfigFile.ErrorText().c_str());
    return config;
}

int RunPresets(std::vector<std::string> args)
{
    if (int status = CheckNoArguments("presets", PresetsUsage, args); status >= 0) return status;
    auto config = OpenConfig("presets");
    for (int i = 0; i < config->Presets.Count(); ++i) std::printf("%s\n", config->Presets.Names(i).c_str());
    return cli::ExitOk;
}

int RunBatches(std::vector<std::string> args)
{
    if (int status = CheckNoArguments("batches", BatchesUsage, args); status >= 0) return status;
    auto config = OpenConfig("batches");
    for (int i = 0; i < config->Batches.Count(); ++i) {
        const kn::TKNBatchRec& batch = *config->Batches.Items(i);
        std::printf("%s\n", config->Batches.Names(i).c_str());
        for (int k = 0; k < kn::UsedEntries(batch); ++k) {
            const kn::TKNBatchEntry& entry = batch.Entries[k];
            std::printf("  %s\t%s\t%s\n", vex::GetField(entry.PresetName).c_str(), cli::ActionWord(entry.Action),
                        entry.Force != 0 ? "force" : "");
        }
    }
    return cli::ExitOk;
}

const cli::CliCommandRegistration presetsCommand("presets", "list the presets of the configuration", RunPresets);
const cli::CliCommandRegistration batchesCommand("batches", "list the batches and their entries", RunBatches);

}  // namespace
