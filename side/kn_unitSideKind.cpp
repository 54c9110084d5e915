#include "side/kn_unitSideKind.h"

#include <algorithm>
#include <stdexcept>

namespace kn {

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A byte a scheme may hold (RFC 3986: letters, digits, "+", "-", "."): one before a scheme puts
// it inside a word.
bool SchemeByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

bool SameLowerAscii(std::string_view text, std::string_view lower)
{
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) { return LowerAscii(a) == b; });
}

}  // namespace

std::size_t SchemeLength(const TKNSideKind& kind, std::string_view text, std::size_t at)
{
    if (at > 0 && SchemeByte(text[at - 1])) return 0;
    for (std::string_view scheme : kind.Schemes()) {
        const std::size_t n = scheme.size();
        if (text.size() < at + n + 2 || !SameLowerAscii(text.substr(at, n), scheme)) continue;
        const std::string_view slashes = text.substr(at + n, 2);
        if (slashes == "//" || slashes == "\\\\") return n + 2;
    }
    return 0;
}

TKNCredentialsAt TKNSideKind::FindCredentials(std::string_view location) const
{
    TKNCredentialsAt found;
    const std::size_t begin = SchemeLength(*this, location);
    if (begin == 0) return found;
    found.Begin = begin;
    const std::size_t authorityEnd = std::min(location.find_first_of("/\\", begin), location.size());
    const std::string_view authority = location.substr(begin, authorityEnd - begin);
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        at += begin;
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        const std::string_view port = authority.substr(colon + 1);
        if (port.find_first_not_of("0123456789") != std::string_view::npos) at = location.find('@', begin);
    }
    if (at != std::string_view::npos) {
        found.At = at;
        const std::size_t colon = location.substr(0, at).find(':', begin);
        if (colon != std::string_view::npos) found.Colon = colon;
    }
    const std::size_t hostBegin = found.At == TKNCredentialsAt::npos ? begin : found.At + 1;
    found.HostEnd = std::min({location.find_first_of("/\\", hostBegin), OptionsStart(location), location.size()});
    found.HostEnd = std::max(found.HostEnd, hostBegin);
    return found;
}

TKNServerIdentity TKNSideKind::ReadIdentity(const std::string& location) const
{
    throw std::runtime_error("The server of \"" + HideKindPasswords(location, {this}) + "\" needs no trust.");
}

void TKNSideKind::TrustIdentity(const std::string& location, const TKNServerIdentity&, bool) const
{
    throw std::runtime_error("The server of \"" + HideKindPasswords(location, {this}) + "\" needs no trust.");
}

std::string HideKindPasswords(std::string_view text, const std::vector<const TKNSideKind*>& kinds)
{
    std::string out;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const TKNSideKind* kind = nullptr;
        for (const TKNSideKind* candidate : kinds)
            if (!kind && SchemeLength(*candidate, text, i) != 0) kind = candidate;
        if (!kind) continue;
        const std::size_t end = std::min(text.find_first_of("\r\n\t\"", i), text.size());
        const TKNCredentialsAt found = kind->FindCredentials(text.substr(i, end - i));
        if (!found.GivesPassword()) continue;
        out.append(text.substr(copied, i + found.Colon - copied));
        copied = i + found.At;
        i = copied;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace kn
