#pragma once

#include <QString>

#include <memory>

namespace platform {

// Whether a file name matches a pattern of "*" and "?", without regard to
// letter case. A "?" in a run that ends at a "." or at the end of the pattern
// may also match nothing there, and a final ".*" also matches a name that has
// no "." at all: Img_???.* matches Img_01.jpg and Img_005.
bool matchesPattern(const QString &name, const QString &pattern);

// Lists the ordinary files of a folder that match a name pattern, one name at
// a time, in the order the file system keeps them. The pattern is the folder
// text followed by the name pattern, e.g. "/foto/Img_???.*". Ordinary files
// are regular files and links to them whose names do not start with ".".
// The folders within a folder, by name, hidden ones left out, and links to
// folders too: a link may lead back up the tree, or off the card.
QStringList subfoldersOf(const QString &folder);

class FolderListing
{
public:
    // A folder that does not exist lists nothing; a folder that cannot be
    // read throws FileError.
    explicit FolderListing(const QString &pattern);
    ~FolderListing();
    FolderListing(const FolderListing &) = delete;
    FolderListing &operator=(const FolderListing &) = delete;

    // The next matching name without its folder, or an empty text at the end.
    QString next();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
