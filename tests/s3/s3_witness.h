// Plain signed requests to the test's radosgw, beside the side under test: the tests prepare
// and inspect objects through this, never through the side itself.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "http/kn_unitHttpClient.h"
#include "tests/common/s3_server.h"

namespace s3test {

class Witness {
public:
    explicit Witness(const testutil::S3Server& server);

    // The reply of `method` on "/BUCKET/KEY" (the key's components percent-encoded) with
    // `headers` and `body`, and `query` (sorted, encoded).
    std::shared_ptr<kn::TKNHttpExchange> Ask(const std::string& method, const std::string& bucket,
                                             const std::string& key, std::vector<std::string> headers = {},
                                             std::string body = {}, const std::string& query = {});
    bool Put(const std::string& bucket, const std::string& key, const std::string& content,
             std::vector<std::string> headers = {});
    // The object's content; "<status N>" when it cannot be read.
    std::string Get(const std::string& bucket, const std::string& key);
    // A header of the object's HEAD; "<status N>" when there is no object.
    std::string Head(const std::string& bucket, const std::string& key, const std::string& header);
    // Every key of the bucket (pages followed).
    std::vector<std::string> Keys(const std::string& bucket);
    // The unfinished multipart uploads of the bucket.
    std::vector<std::string> Uploads(const std::string& bucket);

private:
    std::unique_ptr<kn::TKNHttpClient> client_;
};

}  // namespace s3test
