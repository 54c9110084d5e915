// A list of small images addressed by index, shared by menus, buttons, list rows and headers.
#pragma once

#include <QIcon>
#include <vector>

namespace vex {

class TvexImageList {
public:
    explicit TvexImageList(int size = 16) : size_(size) {}

    // Appends the image and returns its index.
    int Add(const QIcon& icon);
    // Loads a resource image (":/..."); a missing resource still takes an index (a blank image)
    // so that the indexes of the images after it stay fixed.
    int AddResource(const QString& path);
    int Count() const { return static_cast<int>(icons_.size()); }
    // The image at `index`, or a null icon when the index is out of range.
    QIcon Icon(int index) const;
    int Size() const { return size_; }

private:
    int size_;
    std::vector<QIcon> icons_;
};

}  // namespace vex
