#include "webdav/kn_unitWebdavLocation.h"

#include <algorithm>
#include <cstdlib>

#include "framework/vex_unitText.h"
#include "http/kn_unitHttpAuthority.h"
#include "side/kn_unitSidePath.h"
#include "webdav/kn_unitWebdavKind.h"

namespace kn {

namespace {

// The length of "dav://" or "davs://" (or the "\\" forms) at the start of `upper`, else 0.
std::size_t SchemeLength(std::string_view upper)
{
    for (std::string_view scheme : {"DAV://", "DAV:\\\\", "DAVS://", "DAVS:\\\\"})
        if (upper.substr(0, scheme.size()) == scheme) return scheme.size();
    return 0;
}

}  // namespace

bool IsWebdavLocation(std::string_view text)
{
    return SchemeLength(vex::UpperCaseAscii(text.substr(0, 7))) != 0;
}

TKNWebdavLocation ParseWebdavLocation(const std::string& location)
{
    TKNWebdavLocation result;
    const std::size_t scheme = SchemeLength(vex::UpperCaseAscii(std::string_view(location).substr(0, 7)));
    if (scheme == 0) throw TKNWebdavError("Not a WebDAV location: \"" + HideWebdavPasswords(location) + "\"");
    result.Endpoint.Tls = scheme == 7;
    // The credentials stand where the kind finds them everywhere (hiding, the secret store).
    const TKNCredentialsAt at = WebdavSideKind().FindCredentials(location);
    std::string user;
    std::size_t hostBegin = scheme;
    if (at.NamesUser()) {
        const std::size_t userEnd = at.GivesPassword() ? at.Colon : at.At;
        result.Endpoint.HasUser = true;
        result.Endpoint.User = vex::PercentDecoded(location.substr(scheme, userEnd - scheme));
        user = location.substr(scheme, userEnd - scheme) + "@";
        if (at.GivesPassword())
            result.Endpoint.Password = vex::PercentDecoded(location.substr(at.Colon + 1, at.At - at.Colon - 1));
        else if (const char* given = std::getenv(kPasswordVariable))
            result.Endpoint.Password = given;
        hostBegin = at.At + 1;
    }
    const std::size_t hostEnd = std::min(at.HostEnd, location.size());
    const std::string authority = location.substr(hostBegin, hostEnd - hostBegin);
    std::string path = location.substr(hostEnd);
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string shownPath = path;
    while (!shownPath.empty() && shownPath.back() == '/') shownPath.pop_back();
    result.Shown = (result.Endpoint.Tls ? "davs://" : "dav://") + user + authority + shownPath;
    if (const std::string problem = ParseHostPort(authority, result.Endpoint); !problem.empty())
        throw TKNWebdavError(problem + " in the WebDAV location \"" + result.Shown + "\"");
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            std::string name = vex::PercentDecoded(path.substr(start, end - start));
            if (const std::string problem = NameProblem(name); !problem.empty())
                throw TKNWebdavError(problem + " (in the WebDAV location \"" + result.Shown + "\")");
            result.Root.push_back(std::move(name));
        }
        start = end + 1;
    }
    return result;
}

std::string HideWebdavPasswords(std::string_view text)
{
    return HideKindPasswords(text, {&WebdavSideKind()});
}

std::string DavTarget(const std::vector<std::string>& names, bool folder)
{
    std::string target;
    for (const std::string& name : names) target += "/" + vex::PercentEncoded(name);
    if (folder || target.empty()) target += "/";
    return target;
}

}  // namespace kn
