// What each kind's own test file (side_kind_*.cpp) says of its kind, for the table that runs over
// every kind the registry lists (test_side_kinds.cpp): a kind without such a file fails it.
//   const bool kFacts = sidetest::RegisterKindFacts({"ftp", {{"ftp:", Trust::None, true}, ...}});
#pragma once

#include <string>
#include <vector>

#include "side/kn_unitSideKind.h"

namespace sidetest {

struct TSchemeFacts {
    std::string Scheme;         // "ftps:"
    kn::TKNServerTrust Trust;   // what its servers prove themselves by
    bool AsksForUsersPassword;  // a location naming a user and no password asks for one
};

struct TKindFacts {
    std::string Name;  // TKNSideKind::Name
    std::vector<TSchemeFacts> Schemes;
};

bool RegisterKindFacts(TKindFacts facts);
const std::vector<TKindFacts>& RegisteredKindFacts();

}  // namespace sidetest
