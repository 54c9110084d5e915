#include "s3/kn_unitS3Kind.h"

#include <stdexcept>

#include "http/kn_unitHttpTrust.h"
#include "s3/kn_unitS3Location.h"
#include "s3/kn_unitS3Side.h"

namespace kn {

namespace {

// The endpoint of `location` as far as trust goes: no credentials are needed for it.
TKNHttpEndpoint EndpointOf(const std::string& location)
{
    try {
        return ParseS3Location(location, false).Endpoint;
    } catch (const TKNS3Error& e) {
        throw std::runtime_error(e.what());
    }
}

class TS3Kind final : public TKNSideKind {
public:
    std::string_view Name() const override { return "s3"; }
    std::vector<std::string_view> Schemes() const override { return {"s3:"}; }
    std::unique_ptr<TKNSide> Open(const std::string& location, const TKNSideContext& context) const override
    {
        return OpenS3Side(location, context);
    }
    std::size_t OptionsStart(std::string_view location) const override { return S3OptionsStart(location); }
    // A named key signs with its secret; without a key the ambient credentials serve.
    bool AsksForPassword(std::string_view location) const override
    {
        const TKNCredentialsAt at = FindCredentials(location);
        return at.NamesUser();
    }
    TKNServerTrust Trust(std::string_view location) const override
    {
        try {
            return EndpointOf(std::string(location)).Tls ? TKNServerTrust::Certificate : TKNServerTrust::None;
        } catch (const std::runtime_error&) {
            return TKNServerTrust::None;
        }
    }
    TKNServerIdentity ReadIdentity(const std::string& location) const override
    {
        const TKNHttpEndpoint endpoint = EndpointOf(location);
        if (!endpoint.Tls) return TKNSideKind::ReadIdentity(location);
        return ReadHttpsIdentity(endpoint);
    }
    void TrustIdentity(const std::string& location, const TKNServerIdentity& identity,
                       bool replaceChanged) const override
    {
        if (!EndpointOf(location).Tls) return TKNSideKind::TrustIdentity(location, identity, replaceChanged);
        TrustHttpsIdentity(identity, replaceChanged);
    }
    std::vector<TKNKindUsage> Usage() const override
    {
        return {{"S3 object store", "s3://[KEY[:SECRET]@]HOST[:PORT]/BUCKET[/PREFIX][;OPTIONS]",
                 "A bucket (or a prefix in it) of an S3-compatible object store over HTTPS, path-style. Options: "
                 "\"http\" for "
                 "a plain endpoint on a trusted network, \"region=NAME\" (us-east-1 by default). Without a key, "
                 "AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY "
                 "or ~/.aws/credentials serve. Modes are not kept; a move is a copy and a delete on the store."}};
    }
};

}  // namespace

const TKNSideKind& S3SideKind()
{
    static const TS3Kind kind;
    return kind;
}

}  // namespace kn
