#include "framework/keychain/vex_unitKeychain.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <clocale>

namespace vex {

namespace {

struct TJobResult {
    bool Finished = false;
    QKeychain::Error Error = QKeychain::OtherError;
    QString Text;
};

// Runs a job to its end, or until `wait` has passed. The store answers over D-Bus, so the
// caller's thread waits in a local event loop (the window is busy meanwhile and refuses other
// commands). The job deletes itself when it ends, also one abandoned after the wait; its
// answer then reaches nobody, since the connection ends with the loop.
TJobResult RunJob(QKeychain::Job* job, std::chrono::milliseconds wait)
{
    TJobResult result;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&result, &loop](QKeychain::Job* done) {
        result.Finished = true;
        result.Error = done->error();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) result.Text = read->textData();
        loop.quit();
    });
    QTimer::singleShot(wait, &loop, &QEventLoop::quit);
    job->setAutoDelete(true);
    job->start();
    if (!result.Finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
    return result;
}

bool MeansNoStore(const TJobResult& result)
{
    return !result.Finished || result.Error == QKeychain::NoBackendAvailable ||
           result.Error == QKeychain::NotImplemented || result.Error == QKeychain::OtherError;
}

}  // namespace

TvexKeychain::TvexKeychain(const QString& service, std::chrono::milliseconds wait) : service_(service), wait_(wait) {}

TvexKeychain::~TvexKeychain() = default;

void TvexKeychain::MakeApplication()
{
    if (QCoreApplication::instance()) return;
    // Qt takes the environment's locale for the whole process; the program's own (the C
    // locale of its number formats) stays.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    application_ = std::make_unique<QCoreApplication>(argc_, argv_);
    std::setlocale(LC_ALL, locale.c_str());
}

bool TvexKeychain::Persistent()
{
    if (state_ == TState::Unknown) Read(std::string());
    return state_ == TState::Present;
}

std::optional<std::string> TvexKeychain::Read(const std::string& key)
{
    if (std::optional<std::string> kept = memory_.Read(key)) return kept;
    if (state_ == TState::Missing) return std::nullopt;
    MakeApplication();
    auto* job = new QKeychain::ReadPasswordJob(service_);
    job->setInsecureFallback(false);
    job->setKey(QString::fromStdString(key));
    const TJobResult result = RunJob(job, wait_);
    if (MeansNoStore(result)) {
        state_ = TState::Missing;
        return std::nullopt;
    }
    state_ = TState::Present;
    if (result.Error != QKeychain::NoError || key.empty()) return std::nullopt;
    std::string secret = result.Text.toStdString();
    memory_.Write(key, secret);
    return secret;
}

bool TvexKeychain::Write(const std::string& key, const std::string& secret)
{
    memory_.Write(key, secret);
    if (state_ == TState::Missing) return true;
    MakeApplication();
    auto* job = new QKeychain::WritePasswordJob(service_);
    job->setInsecureFallback(false);
    job->setKey(QString::fromStdString(key));
    job->setTextData(QString::fromStdString(secret));
    const TJobResult result = RunJob(job, wait_);
    if (MeansNoStore(result)) state_ = TState::Missing;
    if (result.Finished && result.Error == QKeychain::NoError) state_ = TState::Present;
    return true;
}

}  // namespace vex
