#include "config/kn_unitLocationSecrets.h"

#include <utility>

#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitText.h"

namespace kn {

namespace {

TKNCredentialsAt CredentialsOf(std::string_view location)
{
    return KindOfLocation(location).FindCredentials(location);
}

std::string LowerCaseAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

}  // namespace

TKNLocationPassword SplitLocationPassword(std::string_view location)
{
    const TKNCredentialsAt at = CredentialsOf(location);
    if (!at.GivesPassword()) return {std::string(location), {}};
    std::string bare(location.substr(0, at.Colon));
    bare.append(location.substr(at.At));
    return {std::move(bare), std::string(location.substr(at.Colon + 1, at.At - at.Colon - 1))};
}

std::string SecretKeyOf(std::string_view location)
{
    const std::string bare = SplitLocationPassword(location).Location;
    const TKNCredentialsAt at = CredentialsOf(bare);
    if (!at.NamesUser()) return {};
    // The scheme as its kind names it, whichever way the text wrote "//".
    return LowerCaseAscii(bare.substr(0, at.Begin - 2)) + "//" + bare.substr(at.Begin, at.HostEnd - at.Begin);
}

std::string UserLackingPassword(std::string_view location)
{
    const TKNCredentialsAt at = CredentialsOf(location);
    if (!at.NamesUser() || at.GivesPassword()) return {};
    return std::string(location.substr(at.Begin, at.HostEnd - at.Begin));
}

std::string WithPassword(std::string_view location, std::string_view password)
{
    const TKNCredentialsAt at = CredentialsOf(location);
    if (password.empty() || !at.NamesUser() || at.GivesPassword()) return std::string(location);
    std::string joined(location.substr(0, at.At));
    joined.append(":").append(password).append(location.substr(at.At));
    return joined;
}

bool MoveLocationPassword(std::string& location, vex::TvexSecretStore& store)
{
    TKNLocationPassword split = SplitLocationPassword(location);
    if (split.Password.empty()) return false;
    // Kept for this run at least (a memory store), so the location never needs it again.
    store.Write(SecretKeyOf(split.Location), split.Password);
    location = std::move(split.Location);
    return true;
}

bool MoveFolderPasswords(TKNOptionsRec& options, vex::TvexSecretStore& store)
{
    bool moved = false;
    for (auto* field : {&options.LeftFolder, &options.RightFolder}) {
        std::string folder = vex::GetField(*field);
        if (!MoveLocationPassword(folder, store)) continue;
        vex::SetField(*field, folder);
        moved = true;
    }
    return moved;
}

TKNOptionsRec WithStoredPasswords(const TKNOptionsRec& options, vex::TvexSecretStore& store)
{
    TKNOptionsRec joined = options;
    for (auto* field : {&joined.LeftFolder, &joined.RightFolder}) {
        const std::string folder = vex::GetField(*field);
        const std::string key = SecretKeyOf(folder);
        if (key.empty()) continue;
        if (std::optional<std::string> password = store.Read(key))
            vex::SetField(*field, WithPassword(folder, *password));
    }
    return joined;
}

}  // namespace kn
