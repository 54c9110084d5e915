#include "app/cli/cli_password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "engine/kn_unitCompare.h"

namespace cli {

namespace {

// Where the user part of a server location starts and where its "@" is; npos when the
// location names no server, has no user, or has a password already.
struct UserPart {
    std::size_t Start = std::string::npos, At = std::string::npos;
};

UserPart FindUserWithoutPassword(const std::string& location)
{
    UserPart part;
    if (!kn::IsRemotePath(location)) return part;
    const std::size_t scheme = location.find(":");
    if (scheme == std::string::npos || location.size() < scheme + 3) return part;
    const char separator = location[scheme + 1];  // "/" or "\"
    const std::size_t start = scheme + 3;
    const std::size_t end = std::min(location.find(separator, start), location.size());
    // The credentials end at the last "@" before the host: a user may hold one.
    const std::size_t at = location.rfind('@', end - 1);
    if (at == std::string::npos || at < start || at == start) return part;
    if (location.find(':', start) < at) return part;  // a password is given
    return {start, at};
}

termios savedTerminal;
int terminalFd = -1;

// Ctrl+C at the prompt: the terminal echoes again before the program ends.
void RestoreTerminalAndExit(int)
{
    tcsetattr(terminalFd, TCSANOW, &savedTerminal);
    _exit(130);
}

// The password typed at a prompt on the controlling terminal, without echo; nothing when there
// is no terminal.
bool AskPassword(const std::string& who, std::string& password)
{
    if (!isatty(STDIN_FILENO)) return false;
    terminalFd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (terminalFd < 0) return false;
    const std::string prompt = "Password for " + who + ": ";
    bool read = false;
    if (tcgetattr(terminalFd, &savedTerminal) == 0) {
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        auto previous = std::signal(SIGINT, RestoreTerminalAndExit);
        if (write(terminalFd, prompt.data(), prompt.size()) >= 0 && tcsetattr(terminalFd, TCSAFLUSH, &quiet) == 0) {
            char c;
            while (::read(terminalFd, &c, 1) == 1 && c != '\n') password.push_back(c);
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

// `text` with every byte but A-Z, a-z, 0-9 and "-._~" written as %XX (RFC 3986), so that a
// password ends at the "@" before the host whatever it holds.
std::string PercentEncode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

}  // namespace

std::string SupplyPassword(const std::string& location)
{
    const UserPart part = FindUserWithoutPassword(location);
    if (part.At == std::string::npos) return location;
    static std::map<std::string, std::string> asked;  // user@host -> password, for this run
    const std::size_t hostEnd = location.find_first_of("/\\", part.At);
    const std::string who = location.substr(part.Start, hostEnd == std::string::npos ? hostEnd : hostEnd - part.Start);
    std::string password;
    if (const char* given = std::getenv("KESTRUNE_PASSWORD"); given && *given) {
        password = given;
    } else if (auto it = asked.find(who); it != asked.end()) {
        password = it->second;
    } else {
        if (!AskPassword(who, password)) return location;
        asked[who] = password;
    }
    return location.substr(0, part.At) + ":" + PercentEncode(password) + location.substr(part.At);
}

}  // namespace cli
