// How an HTTP connection judges the server's certificate, installed on each of libcurl's TLS
// contexts (OpenSSL): inside the handshake, the leaf's SHA-256 fingerprint is taken; the pinned
// fingerprint passes at once, anything else must pass OpenSSL's own verification against the
// system's store with the host's name or address checked. A refusal ends the handshake before a
// byte of the request is sent.
#pragma once

#include <string>

namespace kn {

// What one handshake saw; filled by the verification, read after the request ended.
struct TKNHttpTlsJudge {
    std::string Host;          // the name or address the certificate must be for
    std::string Pinned;        // "sha256:HEX" or empty
    bool InspectOnly = false;  // let every certificate through: only look (the trust command)
    std::string Fingerprint;
    bool SystemTrusted = false;
    std::string Problem;
};

// For CURLOPT_SSL_CTX_FUNCTION, with a TKNHttpTlsJudge* as its data.
int InstallTlsJudge(void* curl, void* sslContext, void* judge);

}  // namespace kn
