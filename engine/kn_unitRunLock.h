// One run per pair of roots. A run takes the lock of its pair before it compares: an exclusive
// lock (flock) on a file named after the pair (both roots' identities, in either order,
// kn_unitRootIdentity.h) in the user's private temporary folder, so runs of any configuration
// folder meet there. The lock ends with its process: a killed run leaves none behind. The file
// names the run that holds it (its process, its start, the roots as shown).
//
// The pair's tag, four characters of the same name, marks the temporary files of its runs
// (TKNTempTag, side/kn_unitSideRules.h): a temporary whose tag's lock is held by another process
// belongs to a run in progress; any other is a left-over of a run that is over, whatever its
// time.
//
// Errors: Take returns null with a message; nothing throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kn {

class TKNRunLock {
public:
    // Takes the lock of the pair of roots `left` and `right` (identity keys), shown as `shown`;
    // with `wait` it waits for a run in progress to end, as long as `stopped` says no. Null with
    // `refusal` naming the run in progress (or why no lock could be had).
    static std::unique_ptr<TKNRunLock> Take(const std::string& left, const std::string& right, const std::string& shown,
                                            bool wait, const std::function<bool()>& stopped, std::string& refusal);
    ~TKNRunLock();
    TKNRunLock(const TKNRunLock&) = delete;
    TKNRunLock& operator=(const TKNRunLock&) = delete;

    // The tag of the run's temporary files.
    const std::string& Tag() const { return tag_; }

private:
    TKNRunLock(int fd, std::string tag, uint64_t pair) : fd_(fd), tag_(std::move(tag)), pair_(pair) {}
    int fd_;
    std::string tag_;
    uint64_t pair_;
};

// The tag of the pair `left`, `right` (in either order), as TKNRunLock::Tag gives it.
std::string RunTagOf(const std::string& left, const std::string& right);

// True when the temporary file `name` belongs to a run in progress in another process: its tag's
// lock is held there. A temporary of a pair this process holds is its own left-over.
bool TempOfRunInProgress(std::string_view name);

}  // namespace kn
