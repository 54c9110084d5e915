#include "ftp/kn_unitFtpLocation.h"

#include <algorithm>

#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpKnownServers.h"

namespace kn {

namespace {

// The length of the scheme "ftp://" or "ftp:\\\\" (6), "ftps://" or "ftps:\\\\" (7); 0 for none.
std::size_t SchemeLength(const std::string& text)
{
    const std::string head = vex::UpperCaseAscii(std::string_view(text).substr(0, 7));
    if (head == "FTPS://" || head == "FTPS:\\\\") return 7;
    if (head.substr(0, 6) == "FTP://" || head.substr(0, 6) == "FTP:\\\\") return 6;
    return 0;
}

bool HasFtpScheme(const std::string& text)
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
        throw TKNFtpError("Invalid port \"" + text + "\" in the FTP location \"" + HideFtpPasswords(location) + "\"");
    return static_cast<uint16_t>(port);
}

}  // namespace

TKNFtpLocation ParseFtpLocation(const std::string& location)
{
    TKNFtpLocation result;
    const std::size_t scheme = SchemeLength(location);
    result.Tls = scheme == 7;
    std::string rest = Slashed(location.substr(std::min(location.size(), scheme == 0 ? 6 : scheme)));
    std::size_t at = rest.find('@');
    if (at != std::string::npos) {
        std::string credentials = rest.substr(0, at);
        result.Username = Before(credentials, ':');
        std::size_t colon = credentials.find(':');
        result.Password = colon == std::string::npos ? "" : Before(credentials.substr(colon + 1), ':');
        rest = Before(rest.substr(at + 1), '@');
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
    connection.TrustedFingerprint = parsed.Tls ? RecordedFingerprint(FtpServerKey(parsed)) : std::string();
    connection.Connect();
}

std::string HideFtpPasswords(std::string_view text)
{
    static constexpr std::string_view kSchemes[] = {"FTP://", "FTP:\\\\", "FTPS://", "FTPS:\\\\"};
    const std::string upper = vex::UpperCaseAscii(text);
    std::string out;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t schemeLength = 0;
        for (std::string_view scheme : kSchemes)
            if (std::string_view(upper).substr(i, scheme.size()) == scheme) schemeLength = scheme.size();
        if (schemeLength == 0) continue;
        const std::size_t start = i + schemeLength;
        const std::size_t end = std::min(text.find_first_of("\r\n\t\"", start), text.size());
        const std::size_t at = text.substr(0, end).find('@', start);
        if (at == std::string_view::npos) continue;
        const std::size_t colon = text.substr(0, at).find(':', start);
        if (colon == std::string_view::npos) continue;
        out.append(text.substr(copied, colon - copied));
        copied = at;
        i = at;
    }
    out.append(text.substr(copied));
    return out;
}

std::string FtpPathPart(const std::string& location)
{
    std::string text = Slashed(location);
    if (!HasFtpScheme(location)) return "/";
    std::size_t slash = text.find('/', SchemeLength(location));
    return slash == std::string::npos ? "/" : text.substr(slash);
}

}  // namespace kn
