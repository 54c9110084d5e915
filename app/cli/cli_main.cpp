// Entry point of kestrune-cli: dispatches to the registered sub-commands.
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/cli/cli_command.h"
#include "app/cli/cli_password.h"
#include "app/cli/cli_update_report.h"
#include "app/cli/cli_usage.h"
#include "app/kn_version.h"
#include "engine/kn_unitCommandLinePasswords.h"
#include "engine/kn_unitSideUsage.h"
#include "framework/keychain/vex_unitKeychain.h"
#include "side/kn_unitSideAsk.h"
#include "side/kn_unitSideKeeper.h"
#include "side/kn_unitSideKind.h"

namespace cli {

static std::vector<CliCommand>& Registry()
{
    static std::vector<CliCommand> commands;
    return commands;
}

const std::vector<CliCommand>& Commands()
{
    return Registry();
}

CliCommandRegistration::CliCommandRegistration(std::string name, std::string summary, CommandFn run)
{
    auto& reg = Registry();
    CliCommand cmd{std::move(name), std::move(summary), std::move(run)};
    auto pos = std::lower_bound(reg.begin(), reg.end(), cmd,
                                [](const CliCommand& a, const CliCommand& b) { return a.name < b.name; });
    reg.insert(pos, std::move(cmd));
}

std::string LocationsHelp()
{
    return "\nA folder is one of these locations:\n" + kn::LocationForms(kn::TKNUsageFormat::Text);
}

}  // namespace cli

static void PrintOverview(FILE* out)
{
    std::fprintf(out, "Usage: kestrune-cli COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n");
    for (const auto& cmd : cli::Commands()) std::fprintf(out, "  %-10s %s\n", cmd.name.c_str(), cmd.summary.c_str());
    std::fprintf(out,
                 "\nEvery command accepts --config-dir DIR: the configuration file Kestrune.bin is then\n"
                 "read from and written to DIR (as with the environment variable KESTRUNE_HOME).\n");
    std::fputs(cli::LocationsHelp().c_str(), out);
    std::fprintf(out,
                 "\n'kestrune-cli COMMAND --help' (or -h) describes one command; 'kestrune-cli\n"
                 "--version' (or -V) prints the version.\n");
}

// Takes "--config-dir DIR" or "--config-dir=DIR" out of `args` (up to a "--") and makes DIR,
// as an absolute path, the program folder of this run. False when DIR is missing.
static bool TakeConfigDir(std::vector<std::string>& args)
{
    const std::string option = "--config-dir";
    std::size_t i = 0;
    while (i < args.size() && args[i] != "--") {
        std::string dir;
        if (args[i] == option) {
            if (i + 1 >= args.size()) return false;
            dir = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        } else if (args[i].rfind(option + "=", 0) == 0) {
            dir = args[i].substr(option.size() + 1);
            args.erase(args.begin() + static_cast<long>(i));
        } else {
            ++i;
            continue;
        }
        if (dir.empty()) return false;
        char cwd[PATH_MAX];
        if (dir[0] != '/' && getcwd(cwd, sizeof cwd) != nullptr) dir = std::string(cwd) + "/" + dir;
        setenv("KESTRUNE_HOME", dir.c_str(), 1);
    }
    return true;
}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (kn::WipeCommandLinePasswords(argc, argv))
        std::fprintf(stderr, "%s\n", kn::CommandLinePasswordNotice("kestrune-cli").c_str());
    if (!TakeConfigDir(args)) {
        std::fprintf(stderr, "kestrune-cli: --config-dir needs a folder\n");
        return cli::ExitUsage;
    }
    if (args.empty()) {
        PrintOverview(stderr);
        return cli::ExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintOverview(stdout);
        return cli::ExitOk;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::printf("kestrune-cli %s\n", KESTRUNE_VERSION);
        return cli::ExitOk;
    }
    cli::IgnoreBrokenPipes();
    // The passwords the desktop program keeps; the store is first asked when a server location
    // lacks one.
    vex::TvexKeychain secrets(QStringLiteral("Kestrune"));
    cli::UseSecretStore(&secrets);
    // What a side asks while it logs in (a key's passphrase, a password once its keys failed) is
    // asked on the terminal, as the window asks in a box.
    kn::SetSideAsk(cli::AskOnTerminal);
    for (const auto& cmd : cli::Commands()) {
        if (cmd.name != args[0]) continue;
        const int status = cmd.run(std::vector<std::string>(args.begin() + 1, args.end()));
        kn::DropKeptLinks();  // goodbye to the servers while the crypto library still runs
        // Output lost at the very end (a reader gone after the run) is a stop all the same.
        if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status != cli::ExitInterrupted) {
            cli::SayStopped(cmd.name);
            return cli::ExitInterrupted;
        }
        return status;
    }
    std::vector<std::string> names = {"--help", "--version"};
    for (const auto& cmd : cli::Commands()) names.push_back(cmd.name);
    return cli::UsageError("", cli::WithSuggestion("unknown command \"" + args[0] + "\"", args[0], names));
}
