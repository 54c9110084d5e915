// The desktop's secret store (the Secret Service, KWallet) through QtKeychain, as a
// vex::TvexSecretStore, for the desktop program and the command line alike (Qt Core only).
// Every secret is also kept in memory for this run, so a store that is missing or refuses a
// write still serves the run; Persistent() turns false at the first sign that there is no
// store (an error, or no answer within the wait), and nothing is then written in the clear
// anywhere.
#pragma once

#include <QString>
#include <chrono>
#include <memory>

#include "framework/vex_unitSecretStore.h"

class QCoreApplication;

namespace vex {

class TvexKeychain : public TvexSecretStore {
public:
    // `service` names the program's entries in the store. A question unanswered after `wait`
    // (no D-Bus session, a store that hangs) counts as no store.
    explicit TvexKeychain(const QString& service, std::chrono::milliseconds wait = std::chrono::seconds(10));
    ~TvexKeychain() override;

    bool Persistent() override;
    std::optional<std::string> Read(const std::string& key) override;
    bool Write(const std::string& key, const std::string& secret) override;

private:
    // The store's answers arrive through a Qt event loop: a program without a Qt application
    // object (the command line) gets one here, for as long as this store lives.
    void MakeApplication();

    QString service_;
    std::chrono::milliseconds wait_;
    // Unknown until the store first answers.
    enum class TState { Unknown, Present, Missing } state_ = TState::Unknown;
    TvexMemorySecretStore memory_;
    int argc_ = 1;
    char name_[13] = "kestrune-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> application_;
};

}  // namespace vex
