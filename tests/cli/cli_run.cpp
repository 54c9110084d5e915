#include "tests/cli/cli_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/common/temp_tree.h"

namespace clitest {

static std::string Quote(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

static CliResult Run(const std::string& prefix, const std::vector<std::string>& args, const std::string& cwd)
{
    testutil::TempDir capture;
    std::string command;
    if (!cwd.empty()) command = "cd " + Quote(cwd) + " && ";
    command += prefix + Quote(KESTRUNE_CLI) + " ";
    for (const auto& arg : args) command += Quote(arg) + " ";
    command += "</dev/null >" + Quote(capture / "out") + " 2>" + Quote(capture / "err");
    int raw = std::system(command.c_str());
    CliResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = testutil::ReadFile(capture / "out");
    result.err = testutil::ReadFile(capture / "err");
    return result;
}

CliResult RunCli(const std::vector<std::string>& args, const std::string& cwd)
{
    return Run("", args, cwd);
}

CliResult RunCliUnprivileged(const std::vector<std::string>& args)
{
    const std::string id = std::to_string(testutil::kUnprivilegedId);
    const std::string prefix =
        geteuid() == 0 ? "setpriv --reuid=" + id + " --regid=" + id + " --clear-groups " : std::string();
    return Run(prefix, args, "");
}

}  // namespace clitest
