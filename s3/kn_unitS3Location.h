// Object store locations as folder texts write them:
//   s3://[ACCESS_KEY[:SECRET]@]HOST[:PORT]/BUCKET[/PREFIX][;OPTIONS]
// over HTTPS (port 443), path-style (the bucket is the first component of every request's
// path, as self-hosted stores need). Options, separated by ";": "http" for a plain endpoint on a
// trusted network (port 80), "region=NAME" for the signature's region (default us-east-1).
// The credentials end at the authority's last "@" and the key at their first ":", both
// percent-decoded. A key without a secret takes KESTRUNE_PASSWORD; a location without a key
// takes AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, else the profile AWS_PROFILE (or
// "default") of ~/.aws/credentials. The bucket and every prefix component are
// percent-decoded and checked as one plain name each.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "http/kn_unitHttpClient.h"

namespace kn {

class TKNS3Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TKNS3Location {
    TKNHttpEndpoint Endpoint;  // signed with SigV4; without the pinned fingerprint
    std::string Region = "us-east-1";
    std::string Bucket;
    std::vector<std::string> Prefix;  // the folder's components below the bucket, decoded
    bool NamesKey = false;            // the location itself names the access key
    std::string Shown;                // the location without its secret, no "/" at its end
};

// Throws TKNS3Error (the message shows the location without its secret) for an empty host or
// bucket, a bad port or option, a component that decodes to "/", ".", ".." or NUL, or, when
// `credentials` are asked for, when none can be found.
TKNS3Location ParseS3Location(const std::string& location, bool credentials = true);

// Where the options of an s3 location begin (its length when it has none).
std::size_t S3OptionsStart(std::string_view location);

// `text` with the secret of every s3 location in it cut out.
std::string HideS3Secrets(std::string_view text);

// The key "PREFIX/NAME/..." of `names` below the bucket, unencoded; a folder's ends with "/".
std::string S3Key(const std::vector<std::string>& names, bool folder);
// The request target "/BUCKET/KEY" with every component of the key percent-encoded.
std::string S3Target(const std::string& bucket, const std::string& key);

}  // namespace kn
