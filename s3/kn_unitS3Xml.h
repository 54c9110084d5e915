// The XML replies of an object store, read with expat: a page of ListObjectsV2 (objects and
// common prefixes, whether more pages follow), the upload id of CreateMultipartUpload, the
// uploads of ListMultipartUploads, and the code of an error reply. Namespaces are ignored: the
// stores differ in the one they declare.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kn {

struct TKNS3Object {
    std::string Key;           // the whole key, decoded
    std::string LastModified;  // ISO 8601 ("2026-12-10T15:53:39.989Z")
    std::string ETag;          // without its quotes
    int64_t Size = 0;
};

struct TKNS3ListPage {
    std::vector<TKNS3Object> Objects;
    std::vector<std::string> Prefixes;  // the common prefixes, "/" at their end
    bool Truncated = false;
    std::string NextToken;
};

// An unfinished multipart upload as ListMultipartUploads gives it.
struct TKNS3Upload {
    std::string Key, UploadId, Initiated;
};

// False with `error` when `xml` is not well-formed or not the reply named.
bool ParseS3ListPage(const std::string& xml, TKNS3ListPage& page, std::string& error);
bool ParseS3UploadId(const std::string& xml, std::string& uploadId, std::string& error);
bool ParseS3Uploads(const std::string& xml, std::vector<TKNS3Upload>& uploads, bool& truncated, std::string& error);
// The <Code> of an error reply; empty when it is none.
std::string S3ErrorCode(const std::string& xml);

// Milliseconds since 1970 (UTC) of an ISO 8601 time ("2026-12-10T15:53:39.989Z"); -1 when it
// is none.
int64_t S3IsoTimeMs(const std::string& text);

}  // namespace kn
