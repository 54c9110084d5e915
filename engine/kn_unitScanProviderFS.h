// The scan provider of local folders.
#pragma once

#include "engine/kn_unitCompare.h"
#include "framework/vex_unitFileSystem.h"

namespace kn {

class TKNScanProviderFS : public TKNScanProvider {
public:
    void Close() override {}
    bool Open(const std::string& Root) override;
    void FindClose() override;
    bool FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec) override;
    bool FindNext(std::unique_ptr<TKNFileRec>& Rec) override;
    int32_t AttrKey(const TKNFileRec& Rec) override { return static_cast<int32_t>(Rec.Attr); }
    std::string LocalFileName(const TKNFileRec& Rec) override;
    const TKNSharedText& GetPath(const TKNFileRec& Rec) override { return Rec.Path; }
    const std::string& GetName(const TKNFileRec& Rec) override { return Rec.Name; }
    int IconIndex(const TKNFileRec& Rec) override;
    std::unique_ptr<TKNContentSide> OpenContentSide(const std::string& Root) override;

    // The folder of the last successful FindFirst, shared by the records of its files.
    TKNSharedText CurrentFolder;

private:
    bool NextKept(std::unique_ptr<TKNFileRec>& Rec);
    bool IsOwnTempFile(const vex::TDirEntry& entry);
    bool Failed(const std::string& Folder, int error);

    vex::TDirLister lister_;
    uint32_t attrMask_ = 0;
    int64_t utcOffset_ = 0;  // local offset taken once when the side is opened
    int64_t openedAt_ = 0;   // Unix time of Open: older temporary files are left-overs
};

}  // namespace kn
