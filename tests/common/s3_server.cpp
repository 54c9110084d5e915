#include "tests/common/s3_server.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "http/kn_unitHttpClient.h"

namespace testutil {

namespace {

std::string& Failure()
{
    static std::string failure;
    return failure;
}

bool HasProgram(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

std::string S3Server::Unavailable()
{
    if (!HasProgram("radosgw") || !HasProgram("ceph-mon") || !HasProgram("ceph-osd"))
        return "Ceph's radosgw is not installed (scripts/setup.sh installs it)";
    return Failure();
}

S3Server* S3Server::Shared()
{
    static std::unique_ptr<S3Server> server;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (Unavailable().empty()) {
            server = std::make_unique<S3Server>();
            if (server->port_ == 0) {
                Failure() = "radosgw did not start: " + server->failure_;
                server.reset();
            }
        }
    }
    return server.get();
}

S3Server::S3Server()
{
    const std::string command = std::string("bash ") + KESTRUNE_S3_SERVER_SCRIPT + " start " + dir_.path() + " > " +
                                dir_.path() + "/start.log 2>&1";
    if (std::system(command.c_str()) != 0) {
        failure_ = ReadFile(dir_.path() + "/start.log");
        return;
    }
    std::ifstream env(dir_.path() + "/s3.env");
    for (std::string line; std::getline(env, line);) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "PORT") port_ = std::atoi(value.c_str());
        if (name == "ACCESS_KEY") key_ = value;
        if (name == "SECRET_KEY") secret_ = value;
    }
    if (port_ == 0) failure_ = "no endpoint in " + dir_.path() + "/s3.env";
}

S3Server::~S3Server()
{
    const std::string command =
        std::string("bash ") + KESTRUNE_S3_SERVER_SCRIPT + " stop " + dir_.path() + " >/dev/null 2>&1";
    if (port_ != 0 && std::system(command.c_str()) != 0) std::fprintf(stderr, "radosgw did not stop cleanly\n");
}

std::string S3Server::Location(const std::string& bucket, const std::string& path) const
{
    return "s3://" + key_ + ":" + secret_ + "@127.0.0.1:" + std::to_string(port_) + "/" + bucket +
           (path.empty() ? "" : "/" + path) + ";http";
}

bool S3Server::MakeBucket(const std::string& bucket) const
{
    kn::TKNHttpEndpoint endpoint;
    endpoint.Host = "127.0.0.1";
    endpoint.Port = static_cast<uint16_t>(port_);
    endpoint.HasUser = true;
    endpoint.User = key_;
    endpoint.Password = secret_;
    endpoint.Sigv4 = "aws:amz:us-east-1:s3";
    kn::TKNHttpClient client(endpoint, nullptr, 1);
    auto reply = client.Run({"PUT", "/" + bucket, {}, {}});
    if (reply->Fault() == kn::TKNHttpFault::None && reply->Status() == 200) return true;
    std::fprintf(stderr, "cannot make the bucket %s: %ld %s%s\n", bucket.c_str(), reply->Status(),
                 reply->FaultText().c_str(), reply->Body().c_str());
    return false;
}

}  // namespace testutil
