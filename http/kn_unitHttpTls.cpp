#include "http/kn_unitHttpTls.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace kn {

namespace {

std::string FingerprintOf(X509* cert)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!cert || X509_digest(cert, EVP_sha256(), digest, &length) != 1) return {};
    static const char hex[] = "0123456789abcdef";
    std::string out = "sha256:";
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// Replaces OpenSSL's verification of the chain: the pin first, then the system's store with the
// host checked (set on the store context's parameters before X509_verify_cert runs).
int Verify(X509_STORE_CTX* store, void* arg)
{
    auto* judge = static_cast<TKNHttpTlsJudge*>(arg);
    judge->Fingerprint = FingerprintOf(X509_STORE_CTX_get0_cert(store));
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(store);
    if (judge->Host.find(':') != std::string::npos || judge->Host.find_first_not_of("0123456789.") == std::string::npos)
        X509_VERIFY_PARAM_set1_ip_asc(param, judge->Host.c_str());
    else
        X509_VERIFY_PARAM_set1_host(param, judge->Host.c_str(), 0);
    judge->SystemTrusted = X509_verify_cert(store) == 1;
    if (!judge->SystemTrusted) judge->Problem = X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
    const bool pinned = !judge->Pinned.empty() && judge->Pinned == judge->Fingerprint;
    if (pinned || judge->InspectOnly) X509_STORE_CTX_set_error(store, X509_V_OK);
    return judge->SystemTrusted || pinned || judge->InspectOnly ? 1 : 0;
}

}  // namespace

int InstallTlsJudge(void*, void* sslContext, void* judge)
{
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_cert_verify_callback(ctx, Verify, judge);
    return CURLE_OK;
}

}  // namespace kn
