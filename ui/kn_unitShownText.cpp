#include "ui/kn_unitShownText.h"

#include "engine/kn_unitCompare.h"

namespace kn {

QString ShownText(const std::string& text)
{
    return QString::fromStdString(HideLocationPasswords(text));
}

}  // namespace kn
