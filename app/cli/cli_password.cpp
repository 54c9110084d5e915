#include "app/cli/cli_password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "config/kn_unitLocationSecrets.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitText.h"

namespace cli {

namespace {

termios savedTerminal;
int terminalFd = -1;

// Ctrl+C at the prompt: the terminal echoes again before the program ends.
void RestoreTerminalAndExit(int)
{
    tcsetattr(terminalFd, TCSANOW, &savedTerminal);
    _exit(130);
}

}  // namespace

bool AskOnTerminal(const std::string& prompt, std::string& answer)
{
    if (!isatty(STDIN_FILENO)) return false;
    terminalFd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (terminalFd < 0) return false;
    const std::string shown = prompt + " ";
    bool read = false;
    if (tcgetattr(terminalFd, &savedTerminal) == 0) {
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        auto previous = std::signal(SIGINT, RestoreTerminalAndExit);
        if (write(terminalFd, shown.data(), shown.size()) >= 0 && tcsetattr(terminalFd, TCSAFLUSH, &quiet) == 0) {
            char c;
            while (::read(terminalFd, &c, 1) == 1 && c != '\n') answer.push_back(c);
            read = true;
            tcsetattr(terminalFd, TCSAFLUSH, &savedTerminal);
            (void)!write(terminalFd, "\n", 1);
        }
        std::signal(SIGINT, previous);
    }
    close(terminalFd);
    terminalFd = -1;
    return read;
}

namespace {

// The program's sources: the environment, the controlling terminal and standard error.
class TProcessSources : public TPasswordSources {
public:
    std::string Environment() override
    {
        const char* given = std::getenv(kn::kPasswordVariable);
        return given ? given : "";
    }
    bool Ask(const std::string& who, std::string& password) override
    {
        return AskOnTerminal("Password for " + who + ":", password);
    }
    void Tell(const std::string& line) override { std::fprintf(stderr, "kestrune-cli: %s\n", line.c_str()); }
};

vex::TvexSecretStore* processStore = nullptr;

}  // namespace

std::string TPasswordSupplier::Supply(const std::string& location)
{
    const std::string who = kn::UserLackingPassword(location);
    if (who.empty()) return location;
    // A password as a location carries it: typed ones are encoded, stored ones are kept so.
    std::string password = vex::PercentEncoded(sources_.Environment());
    if (password.empty() && store_) {
        if (std::optional<std::string> stored = store_->Read(kn::SecretKeyOf(location))) password = *stored;
    }
    // The rule the window follows too: asked only where the kind needs a password to log in.
    if (password.empty() && !kn::AsksForPassword(location)) return location;
    if (password.empty()) {
        if (auto it = asked_.find(who); it != asked_.end()) {
            password = it->second;
        } else {
            if (store_ && !toldNoStore_ && !store_->Persistent()) {
                toldNoStore_ = true;
                sources_.Tell("no secret store is reachable (no desktop session), so no password is read from it");
            }
            std::string typed;
            if (!sources_.Ask(who, typed)) return location;
            password = asked_[who] = vex::PercentEncoded(typed);
        }
    }
    return kn::WithPassword(location, password);
}

void UseSecretStore(vex::TvexSecretStore* store)
{
    processStore = store;
}

std::string SupplyPassword(const std::string& location)
{
    static TProcessSources sources;
    static TPasswordSupplier supplier(sources, processStore);
    return supplier.Supply(location);
}

}  // namespace cli
