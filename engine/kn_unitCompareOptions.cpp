#include "engine/kn_unitCompareOptions.h"

#include <algorithm>
#include <cstring>

#include "framework/vex_unitText.h"

namespace kn {

const char* ActionCaption(TKNAction action)
{
    switch (StoredAction(static_cast<int>(action))) {
        case TKNAction::LeftToRight:
            return "Left to Right";
        case TKNAction::RightToLeft:
            return "Right to Left";
        case TKNAction::TwoWay:
            return "Two-way";
        case TKNAction::Auto:
            break;
    }
    return "Auto";
}

TKNOptionsRec DefaultOptions(const char* homeFolder)
{
    TKNOptionsRec r;
    std::memset(&r, 0, sizeof r);
    vex::SetField(r.LeftFolder, homeFolder);
    vex::SetField(r.RightFolder, homeFolder);
    r.Action = TKNAction::Auto;
    vex::SetField(r.Filter, "*.*");
    r.Attributes = kDefaultAttributeSet;
    r.ExcludeAttributes = 0;
    r.BeginDate = vex::kNoTime;
    r.EndDate = vex::Today() + kEndDateSpanDays;
    r.Recursive = 1;
    r.MinSize = 0;
    r.MaxSize = -1;
    r.CheckFilter = 1;
    r.CheckAttr = 1;
    r.CheckDate = 1;
    r.CheckSize = 1;
    r.MultiThread = 0;  // Transfers stays 0, which reads as kDefaultTransfers
    r.CompareContent = 0;
    r.IgnoreHours = 0;
    return r;
}

int TransfersOf(uint8_t stored)
{
    return stored == 0 ? kDefaultTransfers : std::min<int>(stored, kMaxTransfers);
}

TKNLinkPolicy LinkPolicyOf(const TKNOptionsRec& rec)
{
    return rec.Links <= static_cast<uint8_t>(TKNLinkPolicy::Follow) ? static_cast<TKNLinkPolicy>(rec.Links)
                                                                    : TKNLinkPolicy::Copy;
}

const char* LinkPolicyWord(TKNLinkPolicy policy)
{
    switch (policy) {
        case TKNLinkPolicy::Skip:
            return "skip";
        case TKNLinkPolicy::Follow:
            return "follow";
        case TKNLinkPolicy::Copy:
            break;
    }
    return "copy";
}

bool LinkPolicyOfWord(const std::string& word, TKNLinkPolicy& policy)
{
    for (TKNLinkPolicy p : {TKNLinkPolicy::Copy, TKNLinkPolicy::Skip, TKNLinkPolicy::Follow})
        if (word == LinkPolicyWord(p)) {
            policy = p;
            return true;
        }
    return false;
}

int64_t BandwidthLimitOf(const TKNOptionsRec& rec)
{
    return std::max<int64_t>(rec.BandwidthLimit, 0);
}

void SetTransfers(TKNOptionsRec& rec, int transfers)
{
    transfers = std::clamp(transfers, 1, kMaxTransfers);
    rec.Transfers = static_cast<uint8_t>(transfers);
    rec.MultiThread = transfers > 1 ? 1 : 0;
}

}  // namespace kn
