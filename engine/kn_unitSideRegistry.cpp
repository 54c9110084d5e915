#include "engine/kn_unitSideRegistry.h"

#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpSide.h"
#include "local/kn_unitLocalSide.h"
#include "sftp/kn_unitSftpSide.h"

namespace kn {

namespace {

using TOpen = std::unique_ptr<TKNSide> (*)(const std::string& location, const TKNSideContext& context);
using TOptionsStart = std::size_t (*)(std::string_view location);

std::size_t NoOptions(std::string_view location)
{
    return location.size();
}

struct TKind {
    std::string_view Scheme;  // as written before "//", ASCII case ignored
    TOpen Open;
    TOptionsStart OptionsStart;
};

// One line per kind of side. A scheme may be followed by "//" or, as older option files hold
// it, by "\\".
constexpr TKind kKinds[] = {
    {"ftp:", OpenFtpSide, FtpOptionsStart},
    {"ftps:", OpenFtpSide, FtpOptionsStart},
    {"sftp:", OpenSftpSide, NoOptions},
};

const TKind* KindOf(std::string_view location)
{
    for (const TKind& kind : kKinds) {
        const std::size_t n = kind.Scheme.size();
        if (location.size() < n + 2 || !vex::SameTextAscii(location.substr(0, n), kind.Scheme)) continue;
        const std::string_view slashes = location.substr(n, 2);
        if (slashes == "//" || slashes == "\\\\") return &kind;
    }
    return nullptr;
}

}  // namespace

bool IsFtpPath(std::string_view text)
{
    for (std::string_view scheme : {"ftp://", "ftp:\\\\", "ftps://", "ftps:\\\\"})
        if (text.size() >= scheme.size() && vex::SameTextAscii(text.substr(0, scheme.size()), scheme)) return true;
    return false;
}

bool IsSftpPath(std::string_view text)
{
    if (text.size() < 7) return false;
    std::string_view head = text.substr(0, 7);
    return vex::SameTextAscii(head, "sftp://") || vex::SameTextAscii(head, "sftp:\\\\");
}

std::unique_ptr<TKNSide> OpenSide(const std::string& location, const TKNSideContext& context)
{
    const TKind* kind = KindOf(location);
    return kind ? kind->Open(location, context) : OpenLocalSide(location, context);
}

bool IsRemoteLocation(std::string_view location)
{
    return KindOf(location) != nullptr;
}

bool NamesNoFolder(std::string_view location)
{
    return !KindOf(location) && (location.size() < 2 || location.front() != '/');
}

std::size_t LocationOptionsStart(std::string_view location)
{
    const TKind* kind = KindOf(location);
    return kind ? kind->OptionsStart(location) : location.size();
}

}  // namespace kn
