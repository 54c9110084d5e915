// A kind of side as the registry knows it: everything about one kind (its schemes, how a side is
// opened, how the credentials of its locations are read, shown and hidden, what trust its
// servers need and how it is recorded, whether logging in asks the user for a password, and its
// usage text) is one TKNSideKind defined in the kind's own folder (local/, ftp/, sftp/, ...).
// The registry (engine/kn_unitSideRegistry.cpp) is a list of them; nothing outside the kinds'
// folders and the registry names a kind.
//
// Errors: the queries never throw; ReadIdentity and TrustIdentity throw std::runtime_error with
// a message ready to be shown (the location without its password).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "side/kn_unitSide.h"

namespace kn {

// How the server of a location proves who it is before anyone logs in: by its SSH host key, by
// its TLS certificate, or not at all (plain FTP, a local folder).
enum class TKNServerTrust : uint8_t { None, HostKey, Certificate };

// Who a server is, read without logging in, so that a user can be asked to trust it.
struct TKNServerIdentity {
    std::string Label;        // the server as its record names it: "host", "[host]:port", "host:port"
    std::string Fingerprint;  // "SHA256:..." of a key, "sha256:HEX" of a certificate
    std::string Doubt;        // why it is asked about: "The host h is not known."
    std::string RecordFile;   // where a yes is recorded
    bool Known = false;       // trusted already: nothing to ask
    bool Changed = false;     // another one is recorded: a warning, never a question
};

class TKNSideKind {
public:
    virtual ~TKNSideKind() = default;

    // The kind's word for people and scripts: "local", "ftp", "sftp", "webdav", ...
    virtual std::string_view Name() const = 0;
    // The schemes it serves, lower case with their colon ("ftp:", "ftps:"); a location is the
    // kind's when it begins with one (ASCII case ignored) followed by "//" (or "\\", as older
    // option files hold it). The local kind serves none: it takes every other text.
    virtual std::vector<std::string_view> Schemes() const = 0;
    // A side for `location` (a location of this kind, with its options), not yet connected.
    virtual std::unique_ptr<TKNSide> Open(const std::string& location, const TKNSideContext& context) const = 0;
    // Where the location's options begin (";tz=+01"): they belong to the connection, not to the
    // paths of the tree. The length of the text when it has none.
    virtual std::size_t OptionsStart(std::string_view location) const { return location.size(); }

    // --- Credentials ---------------------------------------------------------------------------
    // `text` with every location of this kind in it shown without its password.
    virtual std::string HidePasswords(std::string_view text) const { return std::string(text); }
    // True when logging in to `location` (which gives no password) needs one the user must
    // give: the one rule both programs follow before asking. False where the kind logs in
    // otherwise (anonymously, with keys, with credentials of the environment) and for a
    // location it cannot read (connecting fails and says why).
    virtual bool AsksForPassword(std::string_view /*location*/) const { return false; }

    // --- Trust ---------------------------------------------------------------------------------
    virtual TKNServerTrust Trust(std::string_view /*location*/) const { return TKNServerTrust::None; }
    // The server's identity, read without logging in; throws when the server cannot be reached.
    virtual TKNServerIdentity ReadIdentity(const std::string& location) const;
    // Records `identity` (as ReadIdentity gave it for `location`) as trusted; throws when it
    // cannot be recorded, or when another one is recorded: that is never replaced here.
    virtual void TrustIdentity(const std::string& location, const TKNServerIdentity& identity) const;

    // --- Help ----------------------------------------------------------------------------------
    // The form of its locations and their options, one line each, for --help, the manual pages
    // and the window's help, e.g. "ftp://[USER[:PASSWORD]@]HOST[:PORT]/PATH[;tz=+HH[:MM]]".
    virtual std::vector<std::string> Usage() const = 0;
};

}  // namespace kn
