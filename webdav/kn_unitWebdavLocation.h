// WebDAV locations as folder texts write them:
//   dav://[USER[:PASSWORD]@]HOST[:PORT]/PATH     over HTTP (port 80 by default)
//   davs://[USER[:PASSWORD]@]HOST[:PORT]/PATH    over HTTPS (port 443)
// e.g. davs://joe:pw@[::1]:8443/remote/My%20Files is user joe, password pw, host ::1, port 8443
// and the folder "/remote/My Files". The authority ends at the first "/" ("\" counts as "/");
// the credentials end at its last "@" and the user at their first ":", both percent-decoded, so
// a password may hold any byte. A user without a password takes KESTRUNE_PASSWORD when that is
// set. The path is a URL path: each of its components is percent-decoded.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "http/kn_unitHttpClient.h"

namespace kn {

class TKNWebdavError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TKNWebdavLocation {
    TKNHttpEndpoint Endpoint;       // without the pinned fingerprint
    std::vector<std::string> Root;  // the folder's components, decoded
    std::string Shown;              // the location without its password, no "/" at its end
};

// True for a text that begins with "dav://" or "davs://" ("\\" for "//"), ASCII case ignored.
bool IsWebdavLocation(std::string_view text);

// Throws TKNWebdavError (the message shows the location without its password) for an empty
// host, an unclosed "[", a port that is not 1 to 65535, or a path component that decodes to
// "/", ".", ".." or NUL.
TKNWebdavLocation ParseWebdavLocation(const std::string& location);

// `text` with the password of every WebDAV location in it cut out.
std::string HideWebdavPasswords(std::string_view text);

// The URL path of `names` below the root, every component percent-encoded, beginning with
// "/"; a folder's ends with "/".
std::string DavTarget(const std::vector<std::string>& names, bool folder);

}  // namespace kn
