// kestrune-cli sub-commands. Each command lives in its own file in this folder and registers
// itself with a static CliCommandRegistration, so commands can be added without touching main.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

// Exit statuses shared by every command.
enum ExitCode : int { ExitOk = 0, ExitFound = 1, ExitUsage = 2 };

using CommandFn = std::function<int(std::vector<std::string> args)>;

struct CliCommand {
    std::string name;
    std::string summary;  // one line for the overview of `kestrune-cli --help`
    CommandFn run;        // receives the arguments after the command name
};

const std::vector<CliCommand>& Commands();

struct CliCommandRegistration {
    CliCommandRegistration(std::string name, std::string summary, CommandFn run);
};

}  // namespace cli
