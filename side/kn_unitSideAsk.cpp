#include "side/kn_unitSideAsk.h"

#include <map>
#include <mutex>

#include "framework/vex_unitThreads.h"

namespace kn {

namespace {

std::mutex askMutex;
TKNSideAsk askUser;
std::map<std::string, std::string> remembered;  // account -> answer, for this run

}  // namespace

void SetSideAsk(TKNSideAsk ask)
{
    std::lock_guard lock(askMutex);
    askUser = std::move(ask);
    if (!askUser) remembered.clear();
}

bool AskUser(const std::string& prompt, std::string& answer)
{
    TKNSideAsk ask;
    {
        std::lock_guard lock(askMutex);
        ask = askUser;
    }
    if (!ask) return false;
    bool given = false;
    vex::Synchronize([&] { given = ask(prompt, answer); });
    return given;
}

std::string RememberedAnswer(const std::string& account)
{
    std::lock_guard lock(askMutex);
    const auto it = remembered.find(account);
    return it == remembered.end() ? std::string() : it->second;
}

void RememberAnswer(const std::string& account, const std::string& answer)
{
    std::lock_guard lock(askMutex);
    if (answer.empty())
        remembered.erase(account);
    else
        remembered[account] = answer;
}

}  // namespace kn
