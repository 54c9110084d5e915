#include "framework/qt/vex_unitSysImageList.h"

#include <algorithm>

namespace vex {

TvexSysImageList::TvexSysImageList()
{
    IndexOfIcon(QStringLiteral("folder"), provider_.icon(QFileIconProvider::Folder));
    IndexOfIcon(QStringLiteral("file"), provider_.icon(QFileIconProvider::File));
}

int TvexSysImageList::IndexOfIcon(const QString& key, const QIcon& icon)
{
    auto found = byIconName_.constFind(key);
    if (found != byIconName_.constEnd()) return found.value();
    icons_.push_back(icon);
    int index = Count() - 1;
    byIconName_.insert(key, index);
    return index;
}

int TvexSysImageList::LookUpExtension(const QString& fileName)
{
    // The MIME database matches globs on the name only; the content is never read.
    QMimeType type = mime_.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return kFileIndex;
    QIcon icon = QIcon::fromTheme(type.iconName());
    QString key = type.iconName();
    if (icon.isNull()) {
        icon = QIcon::fromTheme(type.genericIconName());
        key = type.genericIconName();
    }
    if (icon.isNull()) return kFileIndex;
    return IndexOfIcon(key, icon);
}

int TvexSysImageList::IconIndex(const std::string& name, bool isFolder)
{
    if (isFolder) return kFolderIndex;
    QString fileName = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    qsizetype slash = std::max(fileName.lastIndexOf('/'), fileName.lastIndexOf('\\'));
    if (slash >= 0) fileName = fileName.mid(slash + 1);
    qsizetype dot = fileName.lastIndexOf('.');
    // Names without an extension have no glob to match but may match whole-name globs
    // ("Makefile"), so they are keyed by the whole name.
    QString key = dot > 0 ? fileName.mid(dot).toLower() : fileName;
    auto found = byExtension_.constFind(key);
    if (found != byExtension_.constEnd()) return found.value();
    int index = LookUpExtension(fileName);
    byExtension_.insert(key, index);
    return index;
}

QIcon TvexSysImageList::Icon(int index) const
{
    if (index < 0 || index >= Count()) return {};
    return icons_[static_cast<size_t>(index)];
}

}  // namespace vex
