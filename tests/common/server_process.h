// Test servers as child processes: started with their output in a log, waited for until they
// serve, and ended with the test.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testutil {

// Runs `argv` as a child with its standard output and error appended to `log` (with TZ=`zone`
// when one is given) and waits until `ready()`; throws, with the log, when the child ends first
// or is not ready within 10 s. Returns its pid, for StopServer.
pid_t StartServer(std::vector<std::string> argv, const std::string& log, const std::function<bool()>& ready,
                  const std::string& zone = "");

// Ends and reaps the server child `pid` when there is one; `pid` is -1 afterwards.
void StopServer(pid_t& pid);

}  // namespace testutil
