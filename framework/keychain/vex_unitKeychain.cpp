#include "framework/qt/vex_unitKeychain.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>

namespace vex {

namespace {

// Runs a job to its end; the store answers over D-Bus, so the caller's thread waits in a
// local event loop (the window is busy meanwhile and refuses other commands).
QKeychain::Error RunJob(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return job.error();
}

bool MeansNoStore(QKeychain::Error error)
{
    return error == QKeychain::NoBackendAvailable || error == QKeychain::NotImplemented ||
           error == QKeychain::OtherError;
}

}  // namespace

TvexKeychain::TvexKeychain(const QString& service) : service_(service) {}

bool TvexKeychain::Persistent()
{
    if (state_ == TState::Unknown) Read(std::string());
    return state_ == TState::Present;
}

std::optional<std::string> TvexKeychain::Read(const std::string& key)
{
    if (std::optional<std::string> kept = memory_.Read(key)) return kept;
    if (state_ == TState::Missing) return std::nullopt;
    QKeychain::ReadPasswordJob job(service_);
    job.setInsecureFallback(false);
    job.setKey(QString::fromStdString(key));
    const QKeychain::Error error = RunJob(job);
    if (MeansNoStore(error)) {
        state_ = TState::Missing;
        return std::nullopt;
    }
    state_ = TState::Present;
    if (error != QKeychain::NoError || key.empty()) return std::nullopt;
    std::string secret = job.textData().toStdString();
    memory_.Write(key, secret);
    return secret;
}

bool TvexKeychain::Write(const std::string& key, const std::string& secret)
{
    memory_.Write(key, secret);
    if (state_ == TState::Missing) return true;
    QKeychain::WritePasswordJob job(service_);
    job.setInsecureFallback(false);
    job.setKey(QString::fromStdString(key));
    job.setTextData(QString::fromStdString(secret));
    const QKeychain::Error error = RunJob(job);
    if (MeansNoStore(error)) state_ = TState::Missing;
    if (error == QKeychain::NoError) state_ = TState::Present;
    return true;
}

}  // namespace vex
