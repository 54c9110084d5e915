#include "engine/kn_unitSideRegistry.h"

#include "ftp/kn_unitFtpKind.h"
#include "local/kn_unitLocalKind.h"
#include "s3/kn_unitS3Kind.h"
#include "sftp/kn_unitSftpKind.h"
#include "webdav/kn_unitWebdavKind.h"

namespace kn {

const std::vector<const TKNSideKind*>& SideKinds()
{
    // One line per kind; the local kind, which serves no scheme, stays last.
    static const std::vector<const TKNSideKind*> kinds = {
        &FtpSideKind(), &SftpSideKind(), &WebdavSideKind(), &S3SideKind(), &LocalSideKind(),
    };
    return kinds;
}

namespace {

// The kind whose scheme `location` begins with; null for a local text.
const TKNSideKind* SchemeKindOf(std::string_view location)
{
    for (const TKNSideKind* kind : SideKinds())
        if (SchemeLength(*kind, location) != 0) return kind;
    return nullptr;
}

}  // namespace

const TKNSideKind& KindOfLocation(std::string_view location)
{
    if (const TKNSideKind* kind = SchemeKindOf(location)) return *kind;
    return *SideKinds().back();
}

std::unique_ptr<TKNSide> OpenSide(const std::string& location, const TKNSideContext& context)
{
    return KindOfLocation(location).Open(location, context);
}

bool IsRemoteLocation(std::string_view location)
{
    return SchemeKindOf(location) != nullptr;
}

bool NamesNoFolder(std::string_view location)
{
    return KindOfLocation(location).NamesNoFolder(location);
}

std::size_t LocationOptionsStart(std::string_view location)
{
    return KindOfLocation(location).OptionsStart(location);
}

TKNServerTrust ServerTrustOf(std::string_view location)
{
    return KindOfLocation(location).Trust(location);
}

bool AsksForPassword(std::string_view location)
{
    const TKNSideKind& kind = KindOfLocation(location);
    const TKNCredentialsAt credentials = kind.FindCredentials(location);
    return credentials.NamesUser() && !credentials.GivesPassword() && kind.AsksForPassword(location);
}

std::string HideLocationPasswords(std::string_view text)
{
    return HideKindPasswords(text, SideKinds());
}

}  // namespace kn
