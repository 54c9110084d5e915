// The object store kind among the kinds: what its schemes need. Its behaviour against a real
// store (radosgw, which takes seconds to start) is tested once per run in tests/s3.
#include "tests/side/side_kinds.h"

namespace sidetest {
namespace {

const bool kFacts = RegisterKindFacts({"s3", {{"s3:", kn::TKNServerTrust::Certificate, true}}});

}  // namespace
}  // namespace sidetest
