#include "engine/kn_unitSideRegistry.h"

#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpError.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpSide.h"
#include "local/kn_unitLocalSide.h"
#include "sftp/kn_unitSftpSide.h"
#include "webdav/kn_unitWebdavKind.h"

namespace kn {

namespace {

using TOpen = std::unique_ptr<TKNSide> (*)(const std::string& location, const TKNSideContext& context);
using TOptionsStart = std::size_t (*)(std::string_view location);
using TAsksForPassword = bool (*)(std::string_view location);

std::size_t NoOptions(std::string_view location)
{
    return location.size();
}

// FTP logs in with a password unless as "anonymous", its user when none is named (read as the
// FTP side reads it, percent-decoded). A location it cannot read asks for nothing: connecting
// fails, and the comparison says why.
bool FtpAsksForPassword(std::string_view location)
{
    try {
        return !vex::SameTextAscii(ParseFtpLocation(std::string(location)).Username, "anonymous");
    } catch (const TKNFtpError&) {
        return false;
    }
}

std::unique_ptr<TKNSide> OpenWebdav(const std::string& location, const TKNSideContext& context)
{
    return WebdavKind().Open(location, context);
}

bool WebdavAsksForPassword(std::string_view location)
{
    return WebdavKind().AsksForPassword(location);
}

using TDescribe = const TKNSideKind& (*)();

bool AsksOnItsOwn(std::string_view)
{
    return false;
}

struct TKind {
    std::string_view Scheme;  // as written before "//", ASCII case ignored
    TOpen Open;
    TOptionsStart OptionsStart;
    TKNServerTrust Trust;
    TAsksForPassword AsksForPassword;
    TDescribe Describe = nullptr;  // the kind's descriptor, where it has one
};

// One line per kind of side. A scheme may be followed by "//" or, as older option files hold
// it, by "\\".
constexpr TKind kKinds[] = {
    {"ftp:", OpenFtpSide, FtpOptionsStart, TKNServerTrust::None, FtpAsksForPassword},
    {"ftps:", OpenFtpSide, FtpOptionsStart, TKNServerTrust::Certificate, FtpAsksForPassword},
    {"sftp:", OpenSftpSide, NoOptions, TKNServerTrust::HostKey, AsksOnItsOwn},
    {"dav:", OpenWebdav, NoOptions, TKNServerTrust::None, WebdavAsksForPassword, WebdavKind},
    {"davs:", OpenWebdav, NoOptions, TKNServerTrust::Certificate, WebdavAsksForPassword, WebdavKind},
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

TKNServerTrust ServerTrustOf(std::string_view location)
{
    const TKind* kind = KindOf(location);
    return kind ? kind->Trust : TKNServerTrust::None;
}

bool AsksForPassword(std::string_view location)
{
    const TKind* kind = KindOf(location);
    return kind && kind->AsksForPassword(location);
}

const TKNSideKind* KindDescriptorOf(std::string_view location)
{
    const TKind* kind = KindOf(location);
    return kind && kind->Describe ? &kind->Describe() : nullptr;
}

}  // namespace kn
