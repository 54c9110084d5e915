// The desktop's secret store (the Secret Service, KWallet) through QtKeychain, as a
// vex::TvexSecretStore. Every secret is also kept in memory for this run, so a store that is
// missing or refuses a write still serves the run; Persistent() turns false at the first
// sign that there is no store, and nothing is then written in the clear anywhere.
#pragma once

#include <QString>

#include "framework/vex_unitSecretStore.h"

namespace vex {

class TvexKeychain : public TvexSecretStore {
public:
    // `service` names the program's entries in the store.
    explicit TvexKeychain(const QString& service);

    bool Persistent() override;
    std::optional<std::string> Read(const std::string& key) override;
    bool Write(const std::string& key, const std::string& secret) override;

private:
    QString service_;
    // Unknown until the store first answers.
    enum class TState { Unknown, Present, Missing } state_ = TState::Unknown;
    TvexMemorySecretStore memory_;
};

}  // namespace vex
