#include "local/kn_unitLocalKind.h"

#include "local/kn_unitLocalSide.h"

namespace kn {

namespace {

class TKNLocalKind : public TKNSideKind {
public:
    std::string_view Name() const override { return "local"; }
    std::vector<std::string_view> Schemes() const override { return {}; }
    std::unique_ptr<TKNSide> Open(const std::string& location, const TKNSideContext& context) const override
    {
        return OpenLocalSide(location, context);
    }
    // Empty, relative, or "/" alone: on the original platform an empty text listed a whole
    // drive, which a forced update could have emptied; here such a side is inert.
    bool NamesNoFolder(std::string_view location) const override
    {
        return location.size() < 2 || location.front() != '/';
    }
    std::vector<TKNKindUsage> Usage() const override
    {
        return {{"local folder", "/PATH", "A folder of this machine, by its absolute path."}};
    }
};

}  // namespace

const TKNSideKind& LocalSideKind()
{
    static const TKNLocalKind kind;
    return kind;
}

}  // namespace kn
