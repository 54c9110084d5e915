#include "side/kn_unitSideKeeper.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace kn {

namespace {

using TClock = std::chrono::steady_clock;

struct TKept {
    std::string Location;
    std::unique_ptr<TKNKeptLink> Link;
    TClock::time_point Until;
};

// The keeper lives as long as the process, and nothing is closed once the exit began
// (ending_): the reaper closes an expired connection under the lock.
class TKeeper {
public:
    TKeeper()
    {
        std::atexit([] { Keeper().End(); });
        std::thread([this] { Reap(); }).detach();
    }

    static TKeeper& Keeper()
    {
        static TKeeper* keeper = new TKeeper;
        return *keeper;
    }

    void Keep(const std::string& location, std::unique_ptr<TKNKeptLink> link)
    {
        std::vector<TKept> closing;
        std::lock_guard<std::mutex> lock(mutex_);
        if (ending_) {
            // Closing it now could need a crypto library already shut: the system closes it.
            static_cast<void>(link.release());
            return;
        }
        kept_.push_back({location, std::move(link), TClock::now() + std::chrono::seconds(kKeptLinkSeconds)});
        while (kept_.size() > kMostKeptLinks) {
            closing.push_back(std::move(kept_.front()));
            kept_.erase(kept_.begin());
        }
        changed_.notify_all();
    }

    std::unique_ptr<TKNKeptLink> Take(const std::string& location)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
            if (it->Location != location) continue;
            std::unique_ptr<TKNKeptLink> link = std::move(it->Link);
            kept_.erase(std::next(it).base());
            return link;
        }
        return nullptr;
    }

    void Drop()
    {
        std::vector<TKept> closing;
        std::lock_guard<std::mutex> lock(mutex_);
        closing.swap(kept_);
    }

    std::size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return kept_.size();
    }

private:
    void End()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }

    // Closes each connection once its time is up; kept_ is in the order kept, so by time.
    void Reap()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (ending_ || kept_.empty()) {
                changed_.wait(lock);
            } else if (const TClock::time_point until = kept_.front().Until; TClock::now() < until) {
                changed_.wait_until(lock, until);  // a copy: kept_ may grow meanwhile
            } else {
                kept_.erase(kept_.begin());
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TKept> kept_;
    bool ending_ = false;
};

}  // namespace

void KeepLink(const std::string& location, std::unique_ptr<TKNKeptLink> link)
{
    if (link) TKeeper::Keeper().Keep(location, std::move(link));
}

std::unique_ptr<TKNKeptLink> TakeLink(const std::string& location)
{
    return TKeeper::Keeper().Take(location);
}

std::size_t KeptLinks()
{
    return TKeeper::Keeper().Count();
}

void DropKeptLinks()
{
    TKeeper::Keeper().Drop();
}

}  // namespace kn
