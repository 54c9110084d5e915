// The desktop's small icons for files and folders, handed out as small integer indexes.
// A lookup goes by the name's extension alone (MIME type by file name), so it never opens a
// file: listing a slow or remote folder costs no disk access for icons.
#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <string>
#include <vector>

namespace vex {

class TvexSysImageList {
public:
    TvexSysImageList();

    // The index of the small icon for `name` (a file name or a path; only the part after the
    // last "/" or "\" counts). Folders get the folder icon. Equal icons share one index.
    int IconIndex(const std::string& name, bool isFolder);
    int Count() const { return static_cast<int>(icons_.size()); }
    // The icon at `index`, or a null icon when the index is out of range.
    QIcon Icon(int index) const;

    static constexpr int kFolderIndex = 0;
    static constexpr int kFileIndex = 1;

private:
    int IndexOfIcon(const QString& key, const QIcon& icon);
    int LookUpExtension(const QString& fileName);

    QFileIconProvider provider_;
    QMimeDatabase mime_;
    std::vector<QIcon> icons_;
    QHash<QString, int> byIconName_;
    QHash<QString, int> byExtension_;
};

}  // namespace vex
