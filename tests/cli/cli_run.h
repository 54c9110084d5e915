// Runs kestrune-cli as a child process and captures what it prints.
#pragma once

#include <string>
#include <vector>

namespace clitest {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs kestrune-cli with `args` in the folder `cwd` (empty: the current one), standard input
// closed, standard output and error captured.
CliResult RunCli(const std::vector<std::string>& args, const std::string& cwd = "");
// The same, as the unprivileged test user when the tests run as root (permissions bind only
// then), through setpriv.
CliResult RunCliUnprivileged(const std::vector<std::string>& args);

}  // namespace clitest
