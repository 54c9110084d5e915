// The local kind in the conformance suite: the side is the served folder itself.
#include "local/kn_unitLocalSide.h"
#include "tests/side/side_conformance.h"
#include "tests/side/side_kinds.h"

namespace sidetest {
namespace {

class LocalKind : public TKindFixture {
public:
    std::unique_ptr<kn::TKNSide> Open(const std::string& served, const kn::TKNSideContext& context) override
    {
        return kn::OpenLocalSide(served, context);
    }
};

INSTANTIATE_TEST_SUITE_P(Local, SideConformance, testing::Values(MakeKind<LocalKind>("Local")), KindName);

const bool kFacts = RegisterKindFacts({"local", {}});

}  // namespace
}  // namespace sidetest
