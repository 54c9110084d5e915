// Where secrets such as server passwords are kept outside the program's files: an interface
// the platform implements (the desktop's secret store, see framework/keychain/vex_unitKeychain), and
// a store in this process's memory for when there is none.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace vex {

class TvexSecretStore {
public:
    virtual ~TvexSecretStore() = default;
    // True when what is written outlives this run (a desktop secret store answered); false when
    // secrets are kept in memory only, so the user must be asked again at the next start.
    virtual bool Persistent() = 0;
    // The secret kept under `key`, if any.
    virtual std::optional<std::string> Read(const std::string& key) = 0;
    // Keeps `secret` under `key` (at least for this run). False when it could not be kept.
    virtual bool Write(const std::string& key, const std::string& secret) = 0;
};

// Secrets for this run only.
class TvexMemorySecretStore : public TvexSecretStore {
public:
    bool Persistent() override { return false; }
    std::optional<std::string> Read(const std::string& key) override;
    bool Write(const std::string& key, const std::string& secret) override;

private:
    std::map<std::string, std::string> secrets_;
};

}  // namespace vex
