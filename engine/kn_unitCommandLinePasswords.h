// Passwords given inside locations on a program's command line: both programs wipe them from
// their own argument strings (what /proc/PID/cmdline shows every user of the machine) as soon
// as they have read them, and say once how to keep them out of the process list.
#pragma once

#include <string>

namespace kn {

// Overwrites the password of each location among `argv[1..argc)`, so that it is readable there
// only for the moment before the program took its copy; true when any was wiped.
bool WipeCommandLinePasswords(int argc, char** argv);

// What `program` says once when WipeCommandLinePasswords wiped any.
std::string CommandLinePasswordNotice(const std::string& program);

}  // namespace kn
