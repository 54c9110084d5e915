#include "ui/kn_unitShownText.h"

#include <QLocale>

#include "engine/kn_unitCompare.h"
#include "framework/vex_unitCounts.h"

namespace kn {

QString ShownText(const std::string& text)
{
    return QString::fromStdString(HideLocationPasswords(text));
}

QString GroupSeparator()
{
    const QLocale locale;
    // The C locale has no grouping of its own; the pattern still groups digits.
    if (locale.language() == QLocale::C || locale.groupSeparator().isEmpty()) return QStringLiteral(",");
    return locale.groupSeparator();
}

QString CountsText(const std::string& text)
{
    static const std::string separator = GroupSeparator().toStdString();
    return QString::fromStdString(vex::GroupCountsInText(HideLocationPasswords(text), separator));
}

}  // namespace kn
