// The multistatus replies of PROPFIND and PROPPATCH (RFC 4918, section 14.16), read with expat:
// per response its href, the properties its propstats with a 2xx status hold, and the status of
// the program's own time property.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kn {

// The namespace of the program's own properties, and its time property's name in it.
inline constexpr const char* kDavOwnNamespace = "urn:kestrune:props";
inline constexpr const char* kDavOwnTime = "mtime";

struct TKNDavResponse {
    std::string Href;  // as the server wrote it (percent-encoded, maybe a whole URL)
    int Status = 0;    // the response's own status (without propstats), 0 when it has none
    bool Collection = false;
    bool HasLength = false;
    int64_t Length = 0;
    std::string LastModified;  // an HTTP date
    std::string ETag;          // as the server wrote it, quotes and "W/" included
    bool HasOwnTime = false;
    std::string OwnTime;
    int OwnTimeStatus = 0;  // the status of the propstat that names the own time property
};

// False with `error` when `xml` is not well-formed or holds no multistatus.
bool ParseMultistatus(const std::string& xml, std::vector<TKNDavResponse>& responses, std::string& error);

}  // namespace kn
