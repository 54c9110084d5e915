#include "tests/s3/s3_witness.h"

#include "framework/vex_unitText.h"
#include "s3/kn_unitS3Location.h"
#include "s3/kn_unitS3Xml.h"

namespace s3test {

Witness::Witness(const testutil::S3Server& server)
{
    kn::TKNHttpEndpoint endpoint;
    endpoint.Host = "127.0.0.1";
    endpoint.Port = static_cast<uint16_t>(server.Port());
    endpoint.HasUser = true;
    endpoint.User = server.AccessKey();
    endpoint.Password = server.Secret();
    endpoint.Sigv4 = "aws:amz:us-east-1:s3";
    client_ = std::make_unique<kn::TKNHttpClient>(endpoint, nullptr, 16);
}

std::shared_ptr<kn::TKNHttpExchange> Witness::Ask(const std::string& method, const std::string& bucket,
                                                  const std::string& key, std::vector<std::string> headers,
                                                  std::string body, const std::string& query)
{
    kn::TKNHttpRequest request{method, kn::S3Target(bucket, key) + (query.empty() ? "" : "?" + query),
                               std::move(headers), std::move(body)};
    return client_->Run(std::move(request));
}

bool Witness::Put(const std::string& bucket, const std::string& key, const std::string& content,
                  std::vector<std::string> headers)
{
    auto reply = Ask("PUT", bucket, key, std::move(headers), content);
    return reply->Fault() == kn::TKNHttpFault::None && reply->Status() == 200;
}

std::string Witness::Get(const std::string& bucket, const std::string& key)
{
    auto reply = Ask("GET", bucket, key);
    return reply->Status() == 200 ? reply->Body() : "<status " + std::to_string(reply->Status()) + ">";
}

std::string Witness::Head(const std::string& bucket, const std::string& key, const std::string& header)
{
    auto reply = Ask("HEAD", bucket, key);
    return reply->Status() == 200 ? reply->Header(header) : "<status " + std::to_string(reply->Status()) + ">";
}

std::vector<std::string> Witness::Keys(const std::string& bucket)
{
    std::vector<std::string> keys;
    for (std::string token;;) {
        const std::string query =
            (token.empty() ? "" : "continuation-token=" + vex::PercentEncoded(token) + "&") + "list-type=2";
        auto reply = Ask("GET", bucket, "", {}, {}, query);
        kn::TKNS3ListPage page;
        std::string error;
        if (reply->Status() != 200 || !kn::ParseS3ListPage(reply->Body(), page, error)) {
            keys.push_back("<listing failed: " + std::to_string(reply->Status()) + error + ">");
            return keys;
        }
        for (const kn::TKNS3Object& object : page.Objects) keys.push_back(object.Key);
        if (!page.Truncated) return keys;
        token = page.NextToken;
    }
}

std::vector<std::string> Witness::Uploads(const std::string& bucket)
{
    auto reply = Ask("GET", bucket, "", {}, {}, "uploads=");
    std::vector<kn::TKNS3Upload> uploads;
    bool truncated = false;
    std::string error;
    std::vector<std::string> keys;
    if (reply->Status() != 200 || !kn::ParseS3Uploads(reply->Body(), uploads, truncated, error))
        return {"<listing failed: " + std::to_string(reply->Status()) + error + ">"};
    for (const kn::TKNS3Upload& upload : uploads) keys.push_back(upload.Key);
    return keys;
}

}  // namespace s3test
