// The password of a server location, kept off the command line (where every user of the
// machine can read it in the process list). A location with a user and no password gets, in
// this order: the environment variable KESTRUNE_PASSWORD; the password the desktop program
// keeps for that user and host in the desktop's secret store; one typed at a prompt that does
// not echo, when standard input is a terminal (asked once per user and host) and the location's
// kind needs a password to log in (kn::AsksForPassword, the window's rule too: an anonymous FTP
// login is never asked for; SFTP asks on its own once its keys failed). Without a reachable
// store (no desktop session, as under cron or on a server) the run says so once on standard
// error and goes on to the prompt. The password lives only in memory, put into the location
// handed to the engine; it is never printed, and the command line writes nothing into the store.
#pragma once

#include <map>
#include <string>

#include "framework/vex_unitSecretStore.h"

namespace cli {

// Where passwords come from; the program's are the process's environment, its terminal and
// standard error.
class TPasswordSources {
public:
    virtual ~TPasswordSources() = default;
    // KESTRUNE_PASSWORD; empty when unset.
    virtual std::string Environment() = 0;
    // The password typed for `who` (user@host); false when there is no terminal to ask on.
    virtual bool Ask(const std::string& who, std::string& password) = 0;
    // One line for the user on standard error.
    virtual void Tell(const std::string& line) = 0;
};

class TPasswordSupplier {
public:
    // `store` may be null: then no store is asked.
    TPasswordSupplier(TPasswordSources& sources, vex::TvexSecretStore* store) : sources_(sources), store_(store) {}

    // `location` with the password put in when it names a server and a user without a password
    // and one can be had; otherwise `location` unchanged.
    std::string Supply(const std::string& location);

private:
    TPasswordSources& sources_;
    vex::TvexSecretStore* store_;
    std::map<std::string, std::string> asked_;  // user@host -> the password typed, for this run
    bool toldNoStore_ = false;
};

// Asks `prompt` on the controlling terminal without echo; false when standard input is no
// terminal (a script, a scheduler) or the terminal cannot be opened.
bool AskOnTerminal(const std::string& prompt, std::string& answer);

// The secret store SupplyPassword asks (the program's main sets it); none until then.
void UseSecretStore(vex::TvexSecretStore* store);

// TPasswordSupplier::Supply with the process's sources and the store of UseSecretStore.
std::string SupplyPassword(const std::string& location);

}  // namespace cli
