#include "config/kn_unitLocationSecrets.h"

#include <utility>

#include "engine/kn_unitCompare.h"
#include "framework/vex_unitText.h"

namespace kn {

namespace {

// The length of the scheme with its separator ("scheme://" or "scheme:\\"), 0 for a local folder.
std::size_t SchemeEnd(std::string_view location)
{
    if (!IsRemotePath(location)) return 0;
    const std::size_t colon = location.find(':');
    return colon == std::string_view::npos ? 0 : colon + 3;
}

// The "@" that ends the credentials of a location: the last one before the path, as every
// kind's reader takes them; npos without a user.
std::size_t CredentialsEnd(std::string_view location)
{
    const std::size_t start = SchemeEnd(location);
    if (start == 0) return std::string_view::npos;
    const std::size_t authorityEnd = location.find_first_of("/\\", start);
    const std::size_t at = location.substr(0, authorityEnd).rfind('@');
    return at == std::string_view::npos || at < start ? std::string_view::npos : at;
}

// True when the credentials that end at `at` hold a password (a ":" after the user).
bool GivesPassword(std::string_view location, std::size_t at)
{
    return location.substr(0, at).find(':', SchemeEnd(location)) != std::string_view::npos;
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
    std::string shown = HideLocationPasswords(location);
    if (shown.size() == location.size()) return {std::string(location), {}};
    // The shown text lacks one run ":password" that starts where the two first differ (at ":"
    // in one and "@" in the other).
    std::size_t same = 0;
    while (same < shown.size() && shown[same] == location[same]) ++same;
    const std::size_t cut = location.size() - shown.size();
    return {std::move(shown), std::string(location.substr(same + 1, cut - 1))};
}

std::string SecretKeyOf(std::string_view location)
{
    const std::string bare = SplitLocationPassword(location).Location;
    const std::size_t at = CredentialsEnd(bare);
    if (at == std::string::npos) return {};
    const std::size_t start = SchemeEnd(bare);
    const std::size_t end = std::min(bare.find_first_of("/\\;", at), bare.size());
    return LowerCaseAscii(bare.substr(0, start - 3)) + "://" + bare.substr(start, end - start);
}

std::string UserLackingPassword(std::string_view location)
{
    const std::size_t at = CredentialsEnd(location);
    const std::size_t start = SchemeEnd(location);
    if (at == std::string_view::npos || at == start || GivesPassword(location, at)) return {};
    const std::size_t end = std::min(location.find_first_of("/\\;", at), location.size());
    return std::string(location.substr(start, end - start));
}

std::string WithPassword(std::string_view location, std::string_view password)
{
    const std::size_t at = CredentialsEnd(location);
    if (password.empty() || at == std::string_view::npos || GivesPassword(location, at)) return std::string(location);
    std::string joined(location.substr(0, at));
    joined.append(":").append(password).append(location.substr(at));
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
