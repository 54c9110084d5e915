#include "framework/qt/vex_unitImageList.h"

#include <QFile>

namespace vex {

int TvexImageList::Add(const QIcon& icon)
{
    icons_.push_back(icon);
    return Count() - 1;
}

int TvexImageList::AddResource(const QString& path)
{
    QIcon icon;
    // A @2x sibling gives a sharp image on high-density screens.
    icon.addFile(path);
    QString hiDpi = path;
    hiDpi.replace(".png", "@2x.png");
    if (hiDpi != path && QFile::exists(hiDpi)) icon.addFile(hiDpi);
    return Add(icon);
}

QIcon TvexImageList::Icon(int index) const
{
    if (index < 0 || index >= Count()) return {};
    return icons_[static_cast<size_t>(index)];
}

}  // namespace vex
