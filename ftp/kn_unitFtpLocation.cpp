#include "ftp/kn_unitFtpLocation.h"

#include <algorithm>
#include <cstdlib>

#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpKind.h"
#include "tls/kn_unitKnownServers.h"

namespace kn {

namespace {

// The length of the scheme "ftp://" or "ftp:\\\\" (6), "ftps://" or "ftps:\\\\" (7); 0 for none.
std::size_t SchemeLength(std::string_view text)
{
    const std::string head = vex::UpperCaseAscii(text.substr(0, 7));
    if (head == "FTPS://" || head == "FTPS:\\\\") return 7;
    if (head.substr(0, 6) == "FTP://" || head.substr(0, 6) == "FTP:\\\\") return 6;
    return 0;
}

bool HasFtpScheme(std::string_view text)
{
    return SchemeLength(text) != 0;
}

std::string Slashed(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// The text before the first `c` (all of it when there is none).
std::string Before(const std::string& text, char c)
{
    return text.substr(0, text.find(c));
}

uint16_t ParsePort(const std::string& text, const std::string& location)
{
    bool digits = !text.empty() && text.size() <= 5 &&
                  std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    unsigned long port = digits ? std::stoul(text) : 0;
    if (port == 0 || port > 65535)
        throw TKNFtpError("Invalid port in the FTP location \"" + HideFtpPasswords(location) + "\"");
    return static_cast<uint16_t>(port);
}

bool TwoDigits(std::string_view text, int& value)
{
    if (text.size() != 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') return false;
    value = (text[0] - '0') * 10 + (text[1] - '0');
    return true;
}

// "+HH", "+HHMM", "+HH:MM" (or "-"), or "Z": seconds east of UTC, within the zones in use.
bool ParseZone(std::string_view text, int32_t& seconds)
{
    if (text == "Z" || text == "z") {
        seconds = 0;
        return true;
    }
    if (text.size() < 3 || (text[0] != '+' && text[0] != '-')) return false;
    std::string_view digits = text.substr(1);
    int hours = 0, minutes = 0;
    const bool colon = digits.size() == 5 && digits[2] == ':';
    if (!TwoDigits(digits.substr(0, 2), hours)) return false;
    if (digits.size() == 4 || colon) {
        if (!TwoDigits(digits.substr(colon ? 3 : 2), minutes) || minutes > 59) return false;
    } else if (digits.size() != 2) {
        return false;
    }
    seconds = (hours * 3600 + minutes * 60) * (text[0] == '-' ? -1 : 1);
    return seconds >= -12 * 3600 && seconds <= 14 * 3600;
}

void ParseOptions(std::string_view options, const std::string& location, TKNFtpLocation& result)
{
    if (options.empty()) return;
    const std::string_view value = options.substr(4);  // after ";tz="
    if (!ParseZone(value, result.ListZone))
        throw TKNFtpError("Invalid time zone \"" + std::string(value) + "\" in the FTP location \"" +
                          HideFtpPasswords(location) + "\": write it as ;tz=+HHMM or ;tz=-HHMM, e.g. ;tz=+0100");
    result.HasListZone = true;
}

}  // namespace

std::size_t FtpOptionsStart(std::string_view location)
{
    const std::size_t semi = location.rfind(';');
    if (!HasFtpScheme(location) || semi == std::string_view::npos) return location.size();
    const std::string_view rest = location.substr(semi + 1);
    const bool zone = rest.size() >= 3 && vex::UpperCaseAscii(rest.substr(0, 3)) == "TZ=";
    return zone && rest.find_first_of("/\\@") == std::string_view::npos ? semi : location.size();
}

TKNFtpLocation ParseFtpLocation(const std::string& location)
{
    TKNFtpLocation result;
    const std::size_t scheme = SchemeLength(location);
    result.Tls = scheme == 7;
    const std::size_t options = FtpOptionsStart(location);
    ParseOptions(std::string_view(location).substr(options), location, result);
    std::string rest = Slashed(location.substr(0, options).substr(std::min(options, scheme == 0 ? 6 : scheme)));
    // The credentials end at the last "@" before the path, so a password may hold "@" and ":".
    const std::size_t at = rest.substr(0, rest.find('/')).rfind('@');
    if (at != std::string::npos) {
        const std::string credentials = rest.substr(0, at);
        const std::size_t colon = credentials.find(':');
        result.Username = vex::PercentDecoded(credentials.substr(0, colon));
        if (colon != std::string::npos) {
            result.Password = vex::PercentDecoded(credentials.substr(colon + 1));
        } else {
            // A user without a password: the environment may hold it, so that it stays off
            // the command line (where every user of the machine can read it).
            const char* given = std::getenv(kPasswordVariable);
            result.Password = given ? given : "";
        }
        rest = rest.substr(at + 1);
    }
    std::string afterHost;
    if (!rest.empty() && rest[0] == '[') {  // an IPv6 address: "[::1]:2121/path"
        std::size_t close = rest.find(']');
        if (close == std::string::npos)
            throw TKNFtpError("Unclosed \"[\" in the FTP location \"" + HideFtpPasswords(location) + "\"");
        result.Host = rest.substr(1, close - 1);
        afterHost = rest.substr(close + 1);
    } else {
        // Cut at the first ":" even in the path, as locations always were read.
        result.Host = rest.find(':') != std::string::npos ? rest.substr(0, rest.find(':')) : Before(rest, '/');
        afterHost = rest.substr(result.Host.size());
    }
    if (!afterHost.empty() && afterHost[0] == ':') {
        std::string after = afterHost.substr(1);
        result.Port = ParsePort(after.substr(0, after.find_first_of(":/")), location);
    }
    return result;
}

std::string FtpServerKey(const TKNFtpLocation& location)
{
    const bool ipv6 = location.Host.find(':') != std::string::npos;
    return (ipv6 ? "[" + location.Host + "]" : location.Host) + ":" + std::to_string(location.Port);
}

void OpenFtpLocation(TKNIdFTP& connection, const std::string& location)
{
    if (!HasFtpScheme(location)) return;
    TKNFtpLocation parsed = ParseFtpLocation(location);
    connection.Username = parsed.Username;
    connection.Password = parsed.Password;
    connection.Host = parsed.Host;
    connection.Port = parsed.Port;
    connection.UseTls = parsed.Tls;
    connection.ListZone = parsed.HasListZone ? std::optional<int32_t>(parsed.ListZone) : std::nullopt;
    connection.TrustedFingerprint = parsed.Tls ? RecordedFingerprint(FtpServerKey(parsed)) : std::string();
    connection.Connect();
}

std::string HideFtpPasswords(std::string_view text)
{
    return HideKindPasswords(text, {&FtpSideKind()});
}

std::string FtpPathPart(const std::string& location)
{
    if (!HasFtpScheme(location)) return "/";
    std::string text = Slashed(FtpLocationWithoutOptions(location));
    std::size_t slash = text.find('/', SchemeLength(location));
    return slash == std::string::npos ? "/" : text.substr(slash);
}

}  // namespace kn
