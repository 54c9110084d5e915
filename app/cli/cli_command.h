// kestrune-cli sub-commands. Each command lives in its own file in this folder and registers
// itself with a static CliCommandRegistration, so commands can be added without touching main.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

// Exit statuses, one table for every command (the README lists it):
//   0  in line, or everything done;
//   1  differences found, an operation failed, or a folder could not be read;
//   2  a usage error, or a refusal or failure that changed nothing (a missing root, nested
//      roots, --max-delete, a comparison that could not run);
//   130 stopped: Ctrl+C, SIGTERM, SIGHUP, or a standard output that could not be written.
enum ExitCode : int { ExitOk = 0, ExitFound = 1, ExitUsage = 2, ExitInterrupted = 130 };

using CommandFn = std::function<int(std::vector<std::string> args)>;

struct CliCommand {
    std::string name;
    std::string summary;  // one line for the overview of `kestrune-cli --help`
    CommandFn run;        // receives the arguments after the command name
};

const std::vector<CliCommand>& Commands();

// What a folder argument may be, every kind's location form with its meaning, for the --help of
// the program and of its commands.
std::string LocationsHelp();

struct CliCommandRegistration {
    CliCommandRegistration(std::string name, std::string summary, CommandFn run);
};

}  // namespace cli
