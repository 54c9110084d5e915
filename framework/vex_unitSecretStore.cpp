#include "framework/vex_unitSecretStore.h"

namespace vex {

std::optional<std::string> TvexMemorySecretStore::Read(const std::string& key)
{
    const auto found = secrets_.find(key);
    if (found == secrets_.end()) return std::nullopt;
    return found->second;
}

bool TvexMemorySecretStore::Write(const std::string& key, const std::string& secret)
{
    secrets_[key] = secret;
    return true;
}

}  // namespace vex
