// Content comparison of file pairs: block-by-block comparison, comparison by hash where a
// server hashes, the local side and the pool of reader threads.
#include "engine/kn_unitCompareContent.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "framework/vex_unitFileSystem.h"

namespace kn {

namespace {

constexpr std::size_t kBlockSize = 1024 * 1024;

const char* const kChangedSize = "The file changed size while it was read.";
const char* const kStopped = "Stopped";

// Fills `buffer` up to `size` bytes unless the stream ends first: the count, or -1.
int64_t ReadFull(TKNContentStream& stream, char* buffer, std::size_t size, std::string& reason)
{
    std::size_t got = 0;
    while (got < size) {
        int64_t n = stream.Read(buffer + got, size - got, reason);
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<int64_t>(got);
}

TKNContentOutcome Outcome(TKNContentResult result, std::string reason = {})
{
    return TKNContentOutcome{result, std::move(reason)};
}

// Opens one side's file for a comparison; a failure or special file becomes the outcome.
std::unique_ptr<TKNContentStream> OpenSide(TKNContentSide& side, const TKNFileRec& rec, TKNContentOutcome& failed)
{
    bool special = false;
    std::string reason;
    std::unique_ptr<TKNContentStream> stream = side.Open(rec, special, reason);
    if (!stream) failed = special ? Outcome(TKNContentResult::Special) : Outcome(TKNContentResult::Failed, reason);
    return stream;
}

// Reads both files a block at a time. Preconditions: both listed as `size` bytes.
TKNContentOutcome CompareStreams(TKNContentStream& a, TKNContentStream& b, int64_t size, TKNContentBuffers& buffers,
                                 TKNContentProgress& progress)
{
    int64_t offset = 0;
    for (;;) {
        if (progress.Stopped && progress.Stopped()) return Outcome(TKNContentResult::Failed, kStopped);
        std::string reason;
        const int64_t na = ReadFull(a, buffers.Left.data(), buffers.Left.size(), reason);
        if (na < 0) return Outcome(TKNContentResult::Failed, reason);
        const int64_t nb = ReadFull(b, buffers.Right.data(), buffers.Right.size(), reason);
        if (nb < 0) return Outcome(TKNContentResult::Failed, reason);
        if (na != nb || offset + na > size || (na == 0 && offset != size))
            return Outcome(TKNContentResult::Failed, kChangedSize);
        if (na == 0) return Outcome(TKNContentResult::Equal);
        offset += na;
        progress.Done += na;
        if (std::memcmp(buffers.Left.data(), buffers.Right.data(), static_cast<std::size_t>(na)) != 0) {
            progress.Done += size - offset;  // the rest is settled without reading
            return Outcome(TKNContentResult::Differ);
        }
    }
}

// The digest of a stream that must hold exactly `size` bytes; false with the outcome.
bool HashStream(TKNContentStream& stream, int64_t size, TKNHashKind kind, std::vector<char>& buffer,
                TKNContentProgress& progress, int64_t& counted, std::string& hex, TKNContentOutcome& failed)
{
    TKNHasher hasher(kind);
    int64_t offset = 0;
    for (;;) {
        if (progress.Stopped && progress.Stopped()) {
            failed = Outcome(TKNContentResult::Failed, kStopped);
            return false;
        }
        std::string reason;
        const int64_t n = ReadFull(stream, buffer.data(), buffer.size(), reason);
        if (n < 0 || offset + n > size || (n == 0 && offset != size)) {
            failed = Outcome(TKNContentResult::Failed, n < 0 ? reason : std::string(kChangedSize));
            return false;
        }
        if (n == 0) break;
        hasher.Update(buffer.data(), static_cast<std::size_t>(n));
        offset += n;
        progress.Done += n;
        counted += n;
    }
    hex = hasher.FinishHex();
    return true;
}

// The hash both sides can give: one the remote side(s) compute, preferring the first listed.
bool CommonHash(TKNContentSide& left, const TKNFileRec& l, TKNContentSide& right, const TKNFileRec& r,
                TKNHashKind& kind)
{
    const std::vector<TKNHashKind> lh = left.RemoteHashes(l), rh = right.RemoteHashes(r);
    if (lh.empty() && rh.empty()) return false;
    if (lh.empty() || rh.empty()) {
        kind = lh.empty() ? rh.front() : lh.front();
        return true;
    }
    for (TKNHashKind k : lh) {
        if (std::find(rh.begin(), rh.end(), k) != rh.end()) {
            kind = k;
            return true;
        }
    }
    return false;  // two servers without a common function: the bytes are streamed
}

// One side's digest: from its server, or hashed here from its bytes.
bool SideDigest(TKNContentSide& side, const TKNFileRec& rec, TKNHashKind kind, std::vector<char>& buffer,
                TKNContentProgress& progress, int64_t& counted, std::string& hex, TKNContentOutcome& failed)
{
    const std::vector<TKNHashKind> remote = side.RemoteHashes(rec);
    if (std::find(remote.begin(), remote.end(), kind) != remote.end()) {
        std::string reason;
        if (side.RemoteHash(rec, kind, hex, reason)) return true;
        failed = Outcome(TKNContentResult::Failed, reason);
        return false;
    }
    std::unique_ptr<TKNContentStream> stream = OpenSide(side, rec, failed);
    return stream && HashStream(*stream, rec.Size, kind, buffer, progress, counted, hex, failed);
}

TKNContentOutcome CompareByHash(TKNContentSide& left, const TKNFileRec& l, TKNContentSide& right, const TKNFileRec& r,
                                TKNHashKind kind, TKNContentBuffers& buffers, TKNContentProgress& progress)
{
    int64_t counted = 0;  // bytes hashed here; the pair counts once, whoever hashed it
    TKNContentOutcome failed;
    std::string lhex, rhex;
    if (!SideDigest(left, l, kind, buffers.Left, progress, counted, lhex, failed)) return failed;
    if (!SideDigest(right, r, kind, buffers.Right, progress, counted, rhex, failed)) return failed;
    progress.Done += std::max<int64_t>(0, l.Size - counted);
    return Outcome(lhex == rhex ? TKNContentResult::Equal : TKNContentResult::Differ);
}

// One reader thread: makes its sides, then takes jobs until none is left.
void RunReader(std::vector<TKNContentJob>& jobs, std::atomic<std::size_t>& next, const TKNContentSideFactory& makeLeft,
               const TKNContentSideFactory& makeRight, TKNContentProgress& progress)
{
    std::unique_ptr<TKNContentSide> left, right;
    std::string sideFailure;
    try {
        left = makeLeft();
        right = makeRight();
    } catch (const std::exception& e) {
        sideFailure = e.what();
    }
    TKNContentBuffers buffers(kBlockSize);
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
        TKNContentJob& job = jobs[i];
        if (progress.Stopped && progress.Stopped()) continue;
        if (!left || !right) {
            job.Outcome = Outcome(TKNContentResult::Failed, sideFailure);
            continue;
        }
        try {
            job.Outcome = CompareFileContents(*left, *job.Left, *right, *job.Right, buffers, progress);
        } catch (const std::exception& e) {
            job.Outcome = Outcome(TKNContentResult::Failed, e.what());
        }
    }
}

}  // namespace

bool TKNContentSide::RemoteHash(const TKNFileRec&, TKNHashKind, std::string&, std::string& reason)
{
    reason = "This side computes no hashes.";
    return false;
}

TKNContentOutcome CompareFileContents(TKNContentSide& left, const TKNFileRec& l, TKNContentSide& right,
                                      const TKNFileRec& r, TKNContentBuffers& buffers, TKNContentProgress& progress)
{
    if (l.Size != r.Size) return Outcome(TKNContentResult::Differ);
    TKNHashKind kind;
    if (CommonHash(left, l, right, r, kind)) return CompareByHash(left, l, right, r, kind, buffers, progress);
    TKNContentOutcome failed;
    std::unique_ptr<TKNContentStream> a = OpenSide(left, l, failed);
    if (!a) return failed;
    std::unique_ptr<TKNContentStream> b = OpenSide(right, r, failed);
    if (!b) return failed;
    return CompareStreams(*a, *b, l.Size, buffers, progress);
}

void CompareContentJobs(std::vector<TKNContentJob>& jobs, int readers, const TKNContentSideFactory& makeLeft,
                        const TKNContentSideFactory& makeRight, TKNContentProgress& progress,
                        const std::function<void()>& report)
{
    for (TKNContentJob& job : jobs) job.Outcome = Outcome(TKNContentResult::Failed, kStopped);
    const int count =
        static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(readers, 1)), jobs.size()));
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable ended;
    int running = count;
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&] {
            RunReader(jobs, next, makeLeft, makeRight, progress);
            std::lock_guard lock(mutex);
            --running;
            ended.notify_all();
        });
    }
    {
        std::unique_lock lock(mutex);
        while (running > 0) {
            ended.wait_for(lock, std::chrono::milliseconds(200));
            if (running == 0) break;
            lock.unlock();
            if (report) report();
            lock.lock();
        }
    }
    for (std::thread& thread : threads) thread.join();
}

}  // namespace kn
