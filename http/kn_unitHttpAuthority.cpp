#include "http/kn_unitHttpAuthority.h"

#include <algorithm>

namespace kn {

std::string ParseHostPort(const std::string& hostPort, TKNHttpEndpoint& endpoint)
{
    std::string portText;
    bool hasPort = false;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string::npos) return "Unclosed \"[\"";
        endpoint.Host = hostPort.substr(1, close - 1);
        const std::string after = hostPort.substr(close + 1);
        hasPort = !after.empty();
        if (hasPort && after[0] != ':') return "Invalid host";
        if (hasPort) portText = after.substr(1);
    } else {
        const std::size_t colon = hostPort.find(':');
        endpoint.Host = hostPort.substr(0, colon);
        hasPort = colon != std::string::npos;
        if (hasPort) portText = hostPort.substr(colon + 1);
    }
    if (endpoint.Host.empty()) return "No host";
    if (!hasPort) {
        endpoint.Port = endpoint.Tls ? 443 : 80;
        return {};
    }
    const bool digits = !portText.empty() && portText.size() <= 5 &&
                        std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; });
    const unsigned long port = digits ? std::stoul(portText) : 0;
    if (port == 0 || port > 65535) return "Invalid port \"" + portText + "\"";
    endpoint.Port = static_cast<uint16_t>(port);
    return {};
}

}  // namespace kn
