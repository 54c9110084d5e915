// Questions a side asks the user while it logs in (a key's passphrase, a password once its other
// ways failed): a program installs who answers them (the window a box, kestrune-cli a prompt on
// its terminal); without one nothing is asked and the login goes on without. An answer that
// logged in is remembered for the run under its account, so that the connections of several
// workers ask once.
#pragma once

#include <functional>
#include <string>

namespace kn {

// Asks `prompt` and puts the reply in `answer`; false when the user declines or cannot be asked.
using TKNSideAsk = std::function<bool(const std::string& prompt, std::string& answer)>;

// Installs who answers (run on the main thread); nullptr: no one, and the remembered answers
// are forgotten.
void SetSideAsk(TKNSideAsk ask);

// Asks through the installed answerer on the main thread (the caller, a worker, waits through
// vex::Synchronize); false when none is installed or the user declines.
bool AskUser(const std::string& prompt, std::string& answer);

// The answer remembered for `account` ("user@host"); empty for none.
std::string RememberedAnswer(const std::string& account);
// Remembers `answer` for `account`; an empty one forgets it (the server refused it).
void RememberAnswer(const std::string& account, const std::string& answer);

}  // namespace kn
