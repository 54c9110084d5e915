// Until FTP scanning exists, an FTP side reaches nothing and scans empty.
#include "engine/kn_unitScanProviderFTP.h"

namespace kn {

namespace {

class TKNScanProviderFTP : public TKNScanProvider {
public:
    void Close() override {}
    bool Open(const std::string&) override { return false; }
    void FindClose() override {}
    bool FindFirst(const std::string&, uint32_t, std::unique_ptr<TKNFileRec>&) override { return false; }
    bool FindNext(std::unique_ptr<TKNFileRec>&) override { return false; }
    int32_t AttrKey(const TKNFileRec&) override { return -1; }
    std::string LocalFileName(const TKNFileRec&) override { return {}; }
    const TKNSharedText& GetPath(const TKNFileRec& Rec) override { return Rec.Path; }
    const std::string& GetName(const TKNFileRec& Rec) override { return Rec.Name; }
    int IconIndex(const TKNFileRec&) override { return -1; }
};

}  // namespace

std::unique_ptr<TKNScanProvider> CreateScanProviderFTP() { return std::make_unique<TKNScanProviderFTP>(); }

}  // namespace kn
