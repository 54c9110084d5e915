// Entry point of kestrune-cli: dispatches to the registered sub-commands.
#include "app/cli/cli_command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cli {

static std::vector<CliCommand>& Registry()
{
    static std::vector<CliCommand> commands;
    return commands;
}

const std::vector<CliCommand>& Commands() { return Registry(); }

CliCommandRegistration::CliCommandRegistration(std::string name, std::string summary, CommandFn run)
{
    auto& reg = Registry();
    CliCommand cmd{std::move(name), std::move(summary), std::move(run)};
    auto pos = std::lower_bound(reg.begin(), reg.end(), cmd,
                                [](const CliCommand& a, const CliCommand& b) { return a.name < b.name; });
    reg.insert(pos, std::move(cmd));
}

}  // namespace cli

static void PrintOverview(FILE* out)
{
    std::fprintf(out, "Usage: kestrune-cli COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n");
    for (const auto& cmd : cli::Commands())
        std::fprintf(out, "  %-10s %s\n", cmd.name.c_str(), cmd.summary.c_str());
    std::fprintf(out, "\n'kestrune-cli COMMAND --help' describes one command.\n");
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintOverview(stderr);
        return cli::ExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintOverview(stdout);
        return cli::ExitOk;
    }
    for (const auto& cmd : cli::Commands()) {
        if (cmd.name == argv[1])
            return cmd.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "kestrune-cli: unknown command \"%s\"\n\n", argv[1]);
    PrintOverview(stderr);
    return cli::ExitUsage;
}
