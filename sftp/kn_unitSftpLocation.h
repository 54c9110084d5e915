// SFTP locations as folder texts write them:
//   sftp://[user[:password]@]host[:port][/path]     ("\" counts as "/" everywhere)
// e.g. sftp://joe:pw@[::1]:2222/srv/www is user joe, password pw, host ::1, port 2222 and path
// /srv/www. The authority ends at the first "/"; credentials end at its last "@" and the user
// at the first ":" of them, so a password may hold ":" and "@"; both are percent-decoded, as an
// FTP location's are ("%2F" is "/", which a password can hold no other way). A missing user or port is left
// to the SSH configuration (then the local user name and 22); a missing path is the login
// folder.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kn {

class TKNSftpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The server's host key is not recorded yet: the one failure that recording it mends (a key
// other than the one recorded is a plain TKNSftpError).
class TKNSftpUntrusted : public TKNSftpError {
public:
    using TKNSftpError::TKNSftpError;
};

// The server took the connection and closed it before its greeting, as OpenSSH's sshd does
// beyond MaxStartups: one connection too many, not a server that cannot be reached.
class TKNSftpTooMany : public TKNSftpError {
public:
    using TKNSftpError::TKNSftpError;
};

struct TKNSftpLocation {
    std::string User;      // empty: from the SSH configuration, else the local user name
    std::string Password;  // empty: none given
    bool HasPassword = false;
    std::string Host;   // without brackets
    uint16_t Port = 0;  // 0: from the SSH configuration, else 22
    std::string Path;   // with "/" separators; empty: the login folder
};

// True when the text begins with "sftp://" or "sftp:\\", ignoring ASCII case.
bool IsSftpLocation(std::string_view text);

// Splits a location (which must pass IsSftpLocation) into its settings. Throws TKNSftpError
// for an empty host, an unclosed "[", or a port that is not a number from 1 to 65535; the
// message shows the location without its password.
TKNSftpLocation ParseSftpLocation(const std::string& location);

// The location as it may be shown: sftp://user@host[:port]/path, never with the password.
// A text that is not an SFTP location is returned unchanged.
std::string SftpDisplayLocation(const std::string& location);

// `text` with the password of every SFTP location in it removed, as the location parser reads
// it (the credentials end at the last "@" before the path), so that messages name only the user.
// A location's end is taken at a line break, tab or double quote.
std::string HideSftpPasswords(std::string_view text);

// The text with every "\" turned into "/".
std::string ForwardSlashes(std::string text);

// The host and port part as known_hosts and messages name it: "host" for port 22 or none,
// "[host]:port" otherwise.
std::string SftpHostLabel(const TKNSftpLocation& location);

}  // namespace kn
