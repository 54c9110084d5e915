#include "sftp/kn_unitSftpLocation.h"

#include <algorithm>

#include "framework/vex_unitText.h"
#include "sftp/kn_unitSftpKind.h"

namespace kn {

namespace {

constexpr std::size_t kSchemeLength = 7;  // "sftp://"

struct TParts {
    std::string credentials;  // before the last "@" of the authority, empty when none
    bool hasCredentials = false;
    std::string hostPort;
    std::string path;
};

TParts Split(const std::string& location)
{
    TParts parts;
    std::string rest = ForwardSlashes(location.substr(std::min(location.size(), kSchemeLength)));
    std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) parts.path = rest.substr(slash);
    std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        parts.hasCredentials = true;
        parts.credentials = authority.substr(0, at);
        authority = authority.substr(at + 1);
    }
    parts.hostPort = authority;
    return parts;
}

// The port's text is not repeated: in a location whose password holds "/", it is part of that.
uint16_t ParsePort(const std::string& text, const std::string& shown)
{
    bool digits = !text.empty() && text.size() <= 5 &&
                  std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    unsigned long port = digits ? std::stoul(text) : 0;
    if (port == 0 || port > 65535) throw TKNSftpError("Invalid port in the SFTP location \"" + shown + "\"");
    return static_cast<uint16_t>(port);
}

}  // namespace

std::string ForwardSlashes(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

bool IsSftpLocation(std::string_view text)
{
    if (text.size() < kSchemeLength) return false;
    std::string scheme = vex::UpperCaseAscii(text.substr(0, kSchemeLength));
    return scheme == "SFTP://" || scheme == "SFTP:\\\\";
}

TKNSftpLocation ParseSftpLocation(const std::string& location)
{
    TParts parts = Split(location);
    const std::string shown = SftpDisplayLocation(location);
    TKNSftpLocation result;
    if (parts.hasCredentials) {
        std::size_t colon = parts.credentials.find(':');
        result.User = vex::PercentDecoded(parts.credentials.substr(0, colon));
        result.HasPassword = colon != std::string::npos;
        if (result.HasPassword) result.Password = vex::PercentDecoded(parts.credentials.substr(colon + 1));
    }
    std::string portText;
    bool hasPort = false;
    if (!parts.hostPort.empty() && parts.hostPort[0] == '[') {
        std::size_t close = parts.hostPort.find(']');
        if (close == std::string::npos) throw TKNSftpError("Unclosed \"[\" in the SFTP location \"" + shown + "\"");
        result.Host = parts.hostPort.substr(1, close - 1);
        std::string after = parts.hostPort.substr(close + 1);
        hasPort = !after.empty();
        if (hasPort && after[0] != ':') throw TKNSftpError("Invalid host in the SFTP location \"" + shown + "\"");
        if (hasPort) portText = after.substr(1);
    } else {
        std::size_t colon = parts.hostPort.find(':');
        result.Host = parts.hostPort.substr(0, colon);
        hasPort = colon != std::string::npos;
        if (hasPort) portText = parts.hostPort.substr(colon + 1);
    }
    if (result.Host.empty()) throw TKNSftpError("No host in the SFTP location \"" + shown + "\"");
    if (hasPort) result.Port = ParsePort(portText, shown);
    result.Path = parts.path;
    return result;
}

std::string SftpDisplayLocation(const std::string& location)
{
    if (!IsSftpLocation(location)) return location;
    return "sftp://" + ForwardSlashes(HideSftpPasswords(location)).substr(kSchemeLength);
}

std::string HideSftpPasswords(std::string_view text)
{
    return HideKindPasswords(text, {&SftpSideKind()});
}

std::string SftpHostLabel(const TKNSftpLocation& location)
{
    if (location.Port == 0 || location.Port == 22) return location.Host;
    return "[" + location.Host + "]:" + std::to_string(location.Port);
}

}  // namespace kn
