#include "tls/kn_unitTls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <signal.h>

#include <stdexcept>

namespace kn {

namespace {

// OpenSSL writes to its socket without MSG_NOSIGNAL, so a server that has gone away would end
// the program with SIGPIPE; the write fails with EPIPE instead. A handler the program set
// itself is kept.
void IgnoreBrokenPipes()
{
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

TKNTlsContext::TKNTlsContext(int maxVersion) : ctx_(SSL_CTX_new(TLS_client_method()))
{
    IgnoreBrokenPipes();
    if (!ctx_) throw std::runtime_error("Cannot set up TLS: " + TlsErrorText());
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    if (maxVersion != 0) SSL_CTX_set_max_proto_version(ctx_, maxVersion);
    SSL_CTX_set_default_verify_paths(ctx_);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT);
}

TKNTlsContext::~TKNTlsContext()
{
    SSL_CTX_free(ctx_);
}

TKNTlsPeer InspectPeer(ssl_st* ssl)
{
    TKNTlsPeer peer;
    X509* cert = SSL_get1_peer_certificate(ssl);
    if (!cert) {
        peer.Problem = "the server showed no certificate";
        return peer;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(cert, EVP_sha256(), digest, &length);
    static const char hex[] = "0123456789abcdef";
    peer.Fingerprint = "sha256:";
    for (unsigned int i = 0; i < length; ++i) {
        peer.Fingerprint += hex[digest[i] >> 4];
        peer.Fingerprint += hex[digest[i] & 15];
    }
    X509_free(cert);
    const long result = SSL_get_verify_result(ssl);
    peer.Trusted = result == X509_V_OK;
    if (!peer.Trusted) peer.Problem = X509_verify_cert_error_string(result);
    return peer;
}

std::string TlsErrorText()
{
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown TLS error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace kn
