#include "ftp/kn_unitFtpLocation.h"

#include <algorithm>

#include "framework/vex_unitText.h"

namespace kn {

namespace {

constexpr std::size_t kSchemeLength = 6;  // "ftp://"

bool HasFtpScheme(const std::string& text)
{
    if (text.size() < kSchemeLength) return false;
    std::string scheme = vex::UpperCaseAscii(std::string_view(text).substr(0, kSchemeLength));
    return scheme == "FTP://" || scheme == "FTP:\\\\";
}

std::string Slashed(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// The text before the first `c` (all of it when there is none).
std::string Before(const std::string& text, char c) { return text.substr(0, text.find(c)); }

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
    std::string rest = Slashed(location.substr(std::min(location.size(), kSchemeLength)));
    std::size_t at = rest.find('@');
    if (at != std::string::npos) {
        std::string credentials = rest.substr(0, at);
        result.Username = Before(credentials, ':');
        std::size_t colon = credentials.find(':');
        result.Password = colon == std::string::npos ? "" : Before(credentials.substr(colon + 1), ':');
        rest = Before(rest.substr(at + 1), '@');
    }
    std::size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        result.Host = rest.substr(0, colon);
        std::string after = rest.substr(colon + 1);
        result.Port = ParsePort(after.substr(0, after.find_first_of(":/")), location);
    } else {
        result.Host = Before(rest, '/');
    }
    return result;
}

void OpenFtpLocation(TKNIdFTP& connection, const std::string& location)
{
    if (!HasFtpScheme(location)) return;
    TKNFtpLocation parsed = ParseFtpLocation(location);
    connection.Username = parsed.Username;
    connection.Password = parsed.Password;
    connection.Host = parsed.Host;
    connection.Port = parsed.Port;
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
    std::size_t slash = text.find('/', kSchemeLength);
    return slash == std::string::npos ? "/" : text.substr(slash);
}

}  // namespace kn
