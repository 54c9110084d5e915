#include "ui/kn_unitServerTrust.h"

#include <exception>

#include "engine/kn_unitServerTrust.h"
#include "framework/qt/vex_unitDialogs.h"
#include "side/kn_unitSideAsk.h"
#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

bool OfferOne(QWidget* parent, const std::string& folder)
{
    TKNServerIdentity identity;
    try {
        if (!ReadServerIdentity(folder, identity)) return false;
    } catch (const std::exception&) {
        return false;
    }
    if (identity.Known || identity.Changed) return false;
    const QString question = QString("%1 Its fingerprint is\n%2\n\nTrust it and record it in %3?")
                                 .arg(ShownText(identity.Doubt), QString::fromStdString(identity.Fingerprint),
                                      QString::fromStdString(identity.RecordFile));
    if (!vex::QuestionBox(parent, question)) return false;
    try {
        TrustServer(folder, identity);
        return true;
    } catch (const std::exception& e) {
        vex::ErrorBox(parent, ShownText(e.what()));
        return false;
    }
}

}  // namespace

bool OfferToTrustServers(QWidget* parent, const std::vector<std::string>& folders)
{
    bool recorded = false;
    for (const std::string& folder : folders)
        if (OfferOne(parent, folder)) recorded = true;
    return recorded;
}

void InstallSidePrompts(QWidget* parent)
{
    if (!parent) {
        SetSideAsk(nullptr);
        return;
    }
    SetSideAsk([parent](const std::string& prompt, std::string& answer) {
        QString typed;
        if (!vex::PasswordBox(parent, QString(), QString::fromStdString(prompt), typed)) return false;
        answer = typed.toStdString();
        return true;
    });
}

}  // namespace kn
