// TLS from OpenSSL for every kind of side that speaks it: a client context (the system's trusted
// certificates), what a client needs to know of a server's certificate once the handshake is
// done, and OpenSSL's errors as text. The handshakes and the encrypted reads and writes belong
// to each kind's connection (the FTP socket, the HTTP client). Errors: the context's
// constructor throws std::runtime_error; the rest never throws.
#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;
struct ssl_st;

namespace kn {

// A client context: TLS 1.2 at least (at most `maxVersion`, an OpenSSL version constant, 0 for
// no limit), the system's trusted certificates, every certificate let through the handshake
// (InspectPeer judges it afterwards, so that a refusal can name the fingerprint), a missing
// close_notify read as the end of the data (the sizes are checked afterwards).
class TKNTlsContext {
public:
    explicit TKNTlsContext(int maxVersion = 0);
    ~TKNTlsContext();
    TKNTlsContext(const TKNTlsContext&) = delete;
    TKNTlsContext& operator=(const TKNTlsContext&) = delete;
    ssl_ctx_st* Get() const { return ctx_; }

private:
    ssl_ctx_st* ctx_ = nullptr;
};

// The certificate a server showed in a finished handshake.
struct TKNTlsPeer {
    std::string Fingerprint;  // "sha256:" + 64 lower-case hex digits; empty without a certificate
    bool Trusted = false;     // passes the system's trust and names the host
    std::string Problem;      // why it is not trusted
};

TKNTlsPeer InspectPeer(ssl_st* ssl);

// The last OpenSSL error as text (and the queue emptied).
std::string TlsErrorText();

}  // namespace kn
