// Trusting an FTP-over-TLS server whose certificate the system does not trust: what the user
// is shown before deciding (the certificate's SHA-256 fingerprint, and what known_servers
// already holds for the server).
#pragma once

#include <string>

namespace kn {

struct TKNFtpCertificate {
    std::string ServerKey;    // "host:port", as known_servers names the server
    std::string Fingerprint;  // "sha256:HEX"
    bool SystemTrusted = false;
    std::string Problem;   // why the system does not trust it
    std::string Recorded;  // the fingerprint known_servers holds for the server; empty for none

    // Nothing to ask: the certificate is the recorded one, or passes the system's trust and
    // none is recorded.
    bool Known() const { return Fingerprint == Recorded || (SystemTrusted && Recorded.empty()); }
    // Another certificate was trusted for this server: a warning, never a question.
    bool Changed() const { return !Recorded.empty() && Recorded != Fingerprint; }
};

// Connects to the server of an ftps:// location and reads its certificate without logging in.
// Throws TKNFtpError for a location that is not ftps:// or a server that cannot be reached.
TKNFtpCertificate ReadFtpCertificate(const std::string& location);

}  // namespace kn
