#include "ui/kn_unitSftpTrust.h"

#include "engine/kn_unitCompare.h"
#include "framework/qt/vex_unitDialogs.h"
#include "sftp/kn_unitSftpSession.h"

namespace kn {

namespace {

bool OfferOne(QWidget* parent, const std::string& folder)
{
    TKNSftpHostKey key;
    try {
        key = ReadSftpHostKey(folder);
    } catch (const TKNSftpError&) {
        return false;
    }
    if (key.Known || key.Changed) return false;
    const QString question = QString(
                                 "The host %1 is not known. Its key's fingerprint is\n%2\n\nTrust it and record "
                                 "the key in %3/known_hosts?")
                                 .arg(QString::fromStdString(key.Label), QString::fromStdString(key.Fingerprint),
                                      QString::fromStdString(SshFolder()));
    if (!vex::QuestionBox(parent, question)) return false;
    try {
        TrustSftpHost(folder);
        return true;
    } catch (const TKNSftpError& e) {
        vex::ErrorBox(parent, QString::fromStdString(e.what()));
        return false;
    }
}

}  // namespace

bool OfferToTrustSftpHosts(QWidget* parent, const std::vector<std::string>& folders)
{
    bool recorded = false;
    for (const std::string& folder : folders)
        if (IsSftpPath(folder) && OfferOne(parent, folder)) recorded = true;
    return recorded;
}

void InstallSftpPrompts(QWidget* parent)
{
    if (!parent) {
        SetSftpAsk(nullptr);
        return;
    }
    SetSftpAsk([parent](const std::string& prompt, std::string& answer) {
        QString typed;
        if (!vex::PasswordBox(parent, QString(), QString::fromStdString(prompt), typed)) return false;
        answer = typed.toStdString();
        return true;
    });
}

}  // namespace kn
