#include "engine/kn_unitCompareOptions.h"

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
    r.MultiThread = 0;
    r.CompareContent = 0;
    r.IgnoreHours = 0;
    return r;
}

}  // namespace kn
