// A kind of side as the registry knows it: everything about one kind (its schemes, how a side is
// opened, where the credentials of its locations stand, what trust its servers need and how it
// is recorded, whether logging in asks the user for a password, and its usage text) is one
// TKNSideKind defined in the kind's own folder (local/, ftp/, sftp/, ...). The registry
// (engine/kn_unitSideRegistry.cpp) is a list of them; nothing outside the kinds' folders and
// the registry names a kind.
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

// The environment variable that holds the password of a location naming a user but none, so that
// it stays off the command line (where every user of the machine can read it).
inline constexpr const char* kPasswordVariable = "KESTRUNE_PASSWORD";

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
    bool Changed = false;     // another one is recorded: a warning; the window never asks about it
    std::string Recorded;     // what is recorded for the server when Changed (a fingerprint), for the warning
    // Where Changed: true when an explicit yes given after the warning may replace the record (a
    // renewed certificate); false where the old record must be removed by hand (an SSH host key).
    bool Replaceable = false;
};

// Where the credentials stand in a location of a kind, as offsets into its text. A kind reads
// them the same way everywhere (the parser, the hiding of passwords, the secret store's key).
struct TKNCredentialsAt {
    static constexpr std::size_t npos = std::string_view::npos;
    std::size_t Begin = npos;    // the first byte after "scheme://"; npos: no location of the kind
    std::size_t At = npos;       // the "@" that ends the credentials; npos: the location names no user
    std::size_t Colon = npos;    // the ":" before the password; npos: no password is given
    std::size_t HostEnd = npos;  // where "host[:port]" ends (at the path, the options or the end)

    bool NamesUser() const { return At != npos && At > Begin; }
    bool GivesPassword() const { return Colon != npos; }
};

// One line of a kind's usage: the form of its locations and what they reach.
struct TKNKindUsage {
    std::string Title;    // the kind as prose names it: "FTP", "FTP over TLS", "SFTP"
    std::string Form;     // "ftp://[USER[:PASSWORD]@]HOST[:PORT][/PATH][;tz=+HHMM]"
    std::string Meaning;  // one sentence: what it reaches and what its options do
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
    // True for a location of the kind that names no folder: such a side scans empty, and
    // nothing is ever written or deleted on it.
    virtual bool NamesNoFolder(std::string_view /*location*/) const { return false; }

    // --- Credentials ---------------------------------------------------------------------------
    // Where the credentials of `location` stand. The default reads "scheme://[USER[:PASSWORD]@]
    // HOST[:PORT][/PATH]": they end at the last "@" before the path ("/" or "\") and the user at
    // their first ":", so a password may hold "@" and ":". An authority without "@" whose ":" is
    // followed by more than digits cannot be a host and port: a password holding "/" was typed,
    // and the credentials end at the first "@" of the location instead, so it is never shown.
    virtual TKNCredentialsAt FindCredentials(std::string_view location) const;
    // True when logging in to `location` (which gives no password) needs one the user must
    // give: the one rule both programs follow before asking. False where the kind logs in
    // otherwise (anonymously, with keys, asking on its own when they fail) and for a location
    // it cannot read (connecting fails and says why).
    virtual bool AsksForPassword(std::string_view /*location*/) const { return false; }

    // --- Trust ---------------------------------------------------------------------------------
    virtual TKNServerTrust Trust(std::string_view /*location*/) const { return TKNServerTrust::None; }
    // The server's identity, read without logging in; throws when the server cannot be reached.
    virtual TKNServerIdentity ReadIdentity(const std::string& location) const;
    // Records `identity` (as ReadIdentity gave it for `location`) as trusted; throws when it
    // cannot be recorded, or when another one is recorded and `replaceChanged` is false or the
    // identity is not Replaceable: a record is never replaced on a question.
    virtual void TrustIdentity(const std::string& location, const TKNServerIdentity& identity,
                               bool replaceChanged = false) const;

    // --- Help ----------------------------------------------------------------------------------
    // The forms of its locations, for --help, the manual pages and the window's help.
    virtual std::vector<TKNKindUsage> Usage() const = 0;
};

// The length of `kind`'s "scheme://" (or "scheme:\\") at `at` in `text` (ASCII case ignored),
// 0 when none begins there. A scheme inside a word ("xftp://") does not count.
std::size_t SchemeLength(const TKNSideKind& kind, std::string_view text, std::size_t at = 0);

// `text` with the password of every location of `kinds` in it cut out, as each kind reads its
// credentials: "Failed to copy \"ftp://joe:pw@host/a\"" gives "Failed to copy
// \"ftp://joe@host/a\"". A location's end is taken at a line break, tab or double quote.
std::string HideKindPasswords(std::string_view text, const std::vector<const TKNSideKind*>& kinds);

}  // namespace kn
