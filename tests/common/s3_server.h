// A one-node Ceph cluster with its object gateway (radosgw) on loopback, for the tests of object
// store sides: started by tests/common/s3_server.sh in a fresh folder (about 13 s), stopped with
// the object. Every test binary that needs it starts one (S3Server::Shared) and keeps it.
#pragma once

#include <memory>
#include <string>

#include "tests/common/temp_tree.h"

namespace testutil {

class S3Server {
public:
    // Why it cannot run here (empty when it can).
    static std::string Unavailable();
    // The server of this test binary, started at the first call; null when it could not start
    // (Unavailable then says why).
    static S3Server* Shared();

    S3Server();
    ~S3Server();

    int Port() const { return port_; }
    const std::string& AccessKey() const { return key_; }
    const std::string& Secret() const { return secret_; }
    // "s3://KEY:SECRET@127.0.0.1:PORT/BUCKET/PATH;http" (PATH without a leading "/").
    std::string Location(const std::string& bucket, const std::string& path = "") const;
    // Makes `bucket` (a plain PUT on it); false when the store refuses.
    bool MakeBucket(const std::string& bucket) const;

private:
    TempDir dir_;
    int port_ = 0;
    std::string key_, secret_, failure_;
};

}  // namespace testutil
