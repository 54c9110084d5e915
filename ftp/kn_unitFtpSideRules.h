// Rules of the FTP side that learn how a server behaves from what it answers: whether MDTM
// reads its times in another zone than the listing does, and whether "LIST -a" is understood.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kn {

enum class TKNServerClock : uint8_t {
    Unknown,     // the listing's time is too coarse (a day) to tell
    Agrees,      // MDTM reads the listing's time
    WholeHours,  // MDTM reads the listing's time moved by whole hours (a server's local zone)
    Disagrees,   // anything else: MDTM cannot be trusted to set or read times
};

// Compares the time MDTM gives for a file (`mdtm`, read as UTC) with the time the listing
// gives for it (`listed`, UTC, known to `step` seconds: cut down to a minute on a LIST line).
// `offset` receives the seconds MDTM is ahead (a multiple of 3600, at most 15 hours either
// way), e.g. mdtm 10:00:30, listed 07:00 with step 60: WholeHours and 3 hours.
TKNServerClock CompareServerClock(int64_t mdtm, int64_t listed, uint32_t step, int64_t& offset);

// True when a listing asked for with "LIST -a" holds every name the plain "LIST" holds: a
// server that reads "-a" as a name lists that name (or nothing) instead.
bool ListAllUnderstood(const std::vector<std::string>& plain, const std::vector<std::string>& all);

}  // namespace kn
