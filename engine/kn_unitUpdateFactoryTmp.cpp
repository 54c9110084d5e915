#include "engine/kn_unitUpdate.h"
namespace kn {
std::unique_ptr<TKNUpdateProvider> CreateUpdateProvider(bool, bool, bool writesRight)
{
    auto provider = std::make_unique<TKNUpdateProviderFSFS>();
    provider->WritesRight = writesRight;
    return provider;
}
}
