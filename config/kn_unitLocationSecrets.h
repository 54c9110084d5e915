// Passwords of server locations kept apart from the locations: a folder text, a preset and the
// configuration file hold "scheme://user@host/path", the password lives in a secret store under
// the key "scheme://user@host" (scheme, user, host and port), and is put back into the location
// only on its way to the engine.
#pragma once

#include <string>
#include <string_view>

#include "engine/kn_unitCompareOptions.h"
#include "framework/vex_unitSecretStore.h"

namespace kn {

struct TKNLocationPassword {
    std::string Location;  // without its password
    std::string Password;  // empty when it had none
};

// "scheme://kn:pw@host/x" gives {"scheme://kn@host/x", "pw"}; a text without a password (a local
// folder too) comes back whole with an empty password. The location's kind says where its
// credentials stand (TKNSideKind::FindCredentials), as it does for HideLocationPasswords, so the
// password is exactly what the shown form leaves out.
TKNLocationPassword SplitLocationPassword(std::string_view location);

// The store key of a remote location with a user: "scheme://kn@host:2121" for
// "SCHEME://kn@host:2121/x;tz=+01" (the scheme in lower case, "\" read as "/"); empty for a local
// folder or a location without a user.
std::string SecretKeyOf(std::string_view location);

// "user@host:port" of a remote location that names a user but gives no password (an empty one
// counts as given), as written up to its path or options: whom a password is asked for. Empty
// for any other text.
std::string UserLackingPassword(std::string_view location);

// `location` (without a password) with `password` put back in front of the host; a location
// without a user, or one holding a password already, is returned as it is.
std::string WithPassword(std::string_view location, std::string_view password);

// Moves the password of `location` into `store` (under its SecretKeyOf), leaving user@host in
// the location. True when it held one.
bool MoveLocationPassword(std::string& location, vex::TvexSecretStore& store);

// Moves the passwords of both folders of `options` into `store`, leaving user@host in the
// record. True when the record changed.
bool MoveFolderPasswords(TKNOptionsRec& options, vex::TvexSecretStore& store);

// Both folders of `options` with their passwords from `store` put back, for the engine.
TKNOptionsRec WithStoredPasswords(const TKNOptionsRec& options, vex::TvexSecretStore& store);

}  // namespace kn
