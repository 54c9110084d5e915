// TLS for the FTP client, from OpenSSL: one client context per connection (the system's
// trusted certificates), and what the client needs to know of a server's certificate. The
// handshake and the encrypted reads and writes live in TKNFtpSocket.
#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;
struct ssl_st;

namespace kn {

// A client context: TLS 1.2, the system's trusted certificates, a missing
// close_notify read as the end of the data (the sizes are checked afterwards).
class TKNTlsContext {
public:
    TKNTlsContext();
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
