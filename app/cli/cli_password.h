// The password of a server location, kept off the command line (where every user of the
// machine can read it in the process list): a location with a user and no password gets the
// one of the environment variable KESTRUNE_PASSWORD or, when standard input is a terminal, of
// a prompt that does not echo. The password lives only in memory, percent-encoded into the
// location handed to the engine; it is never printed.
#pragma once

#include <string>

namespace cli {

// `location` with the password put in when it names a server and a user without a password
// and one can be had; otherwise `location` unchanged. Asks at most once per user and host.
std::string SupplyPassword(const std::string& location);

}  // namespace cli
