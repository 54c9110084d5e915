#include "tests/common/server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/common/temp_tree.h"

namespace testutil {

pid_t StartServer(std::vector<std::string> argv, const std::string& log, const std::function<bool()>& ready,
                  const std::string& zone)
{
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!zone.empty()) ::setenv("TZ", zone.c_str(), 1);
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (ready()) return pid;
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            throw std::runtime_error(argv[0] + " exited at start: " + ReadFile(log));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    throw std::runtime_error(argv[0] + " did not serve within 10 s: " + ReadFile(log));
}

void StopServer(pid_t& pid)
{
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

}  // namespace testutil
