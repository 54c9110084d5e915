// FTP locations as folder texts write them:
//   ftp://[user[:password]@]host[:port][/path]     ("\" counts as "/" everywhere)
//   ftps://... for FTP over explicit TLS; an IPv6 host in brackets: ftp://[::1]:2121/pub
//   ftp://host/path;tz=+0100 names the time zone of the server's LIST times (see ListZone)
// e.g. ftp://joe:pw@hostA:2121/pub/docs is user joe, password pw, host hostA, port 2121 and
// path /pub/docs. The credentials end at the last "@" before the path and the user at their
// first ":", so a password may hold "@" and ":"; both are percent-decoded ("%40" is "@", "%2F"
// "/"). A user without a password takes it from the environment variable KESTRUNE_PASSWORD
// when that is set. A ":" in the path of a location without a port makes the port invalid.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ftp/kn_unitIdFTP.h"
#include "side/kn_unitSideKind.h"

namespace kn {

// The password of an anonymous login.
inline constexpr const char* kAnonymousPassword = "anonymous@kestrune.invalid";

struct TKNFtpLocation {
    std::string Username = "anonymous";
    std::string Password = kAnonymousPassword;
    std::string Host;
    uint16_t Port = 21;
    bool Tls = false;  // "ftps://"
    // ";tz=" after the path: the UTC offset (seconds east) of the times in the server's LIST
    // lines, which are then turned local as exact (MLSD) times are. Without it LIST times are
    // taken as local.
    bool HasListZone = false;
    int32_t ListZone = 0;
};

// "host:port" ("[v6]:port"), the key of a server in the known servers' file.
std::string FtpServerKey(const TKNFtpLocation& location);

// Splits a location (which must start with "ftp://", "ftps://" or a "\\" form) into its connection
// settings. Throws TKNFtpError when the port is not a number from 1 to 65535 or the time zone
// is not one of +HH, +HHMM, +HH:MM (or "-", from -12:00 to +14:00) or Z.
TKNFtpLocation ParseFtpLocation(const std::string& location);

// Where a trailing ";tz=..." begins in an FTP location (any case of "tz"; nothing after it
// names a folder); the text's size when there is none or the text is no FTP location.
std::size_t FtpOptionsStart(std::string_view location);
// The location without its trailing options: the folder it names.
inline std::string FtpLocationWithoutOptions(std::string_view location)
{
    return std::string(location.substr(0, FtpOptionsStart(location)));
}

// Does nothing unless `location` is an FTP location; otherwise sets the connection's user,
// password, host, port and TLS (with the fingerprint the user trusted for that server, see
// tls/kn_unitKnownServers.h) from it and connects with login (connect time-out 20,000 ms unless
// the connection was given another). Errors propagate as TKNFtpError.
// The LIST time zone is set as well.
void OpenFtpLocation(TKNIdFTP& connection, const std::string& location);

// `text` with the password of every FTP location in it removed, as the location parser reads
// it (the credentials end at the last "@" before the path), so that whatever is shown or printed names only
// the user: "Failed to copy \"ftp://joe:pw@host/a\"" gives "Failed to copy \"ftp://joe@host/a\"".
// A location's end is taken at a line break, tab or double quote.
std::string HideFtpPasswords(std::string_view text);

// The server path of a location: "\" turned into "/", then the text from the first "/" after
// the scheme up to the options, or "/" when there is none (also for a text that is not an FTP
// location).
std::string FtpPathPart(const std::string& location);

}  // namespace kn
