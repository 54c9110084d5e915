#include "ui/kn_unitShownText.h"

#include <QLocale>

#include "engine/kn_unitCompare.h"

namespace kn {

QString ShownText(const std::string& text)
{
    return QString::fromStdString(HideLocationPasswords(text));
}

QString CountsText(const std::string& text)
{
    const QString shown = ShownText(text);
    const QLocale locale;
    auto opens = [&](qsizetype i) { return i == 0 || shown[i - 1] == ' ' || shown[i - 1] == '('; };
    auto closes = [&](qsizetype i) { return i == shown.size() || QStringLiteral(" ),.").contains(shown[i]); };
    QString out;
    for (qsizetype i = 0; i < shown.size();) {
        qsizetype end = i;
        while (end < shown.size() && shown[end].isDigit()) ++end;
        if (end - i >= 4 && end - i <= 18 && opens(i) && closes(end)) {
            out += locale.toString(shown.mid(i, end - i).toLongLong());
            i = end;
        } else {
            const qsizetype next = std::max(end, i + 1);
            out += shown.mid(i, next - i);
            i = next;
        }
    }
    return out;
}

}  // namespace kn
