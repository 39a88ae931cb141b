#pragma once

#include "DriveInventory.h"
#include "FolderListing.h"

#include <QString>
#include <array>

namespace selvanix {

// What the search shows its progress on.
class SearchProgress {
public:
    virtual ~SearchProgress() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void setMaximum(int maximum) = 0;
    virtual void setPosition(int position) = 0;
};

// Where the search appends the folders it finds.
class SearchResults {
public:
    virtual ~SearchResults() = default;
    virtual void append(const QString& folder) = 0;
};

// Folders the search passed over: those the user may not enter, and those holding the file
// that another user could change (the folder, or one on its way from the drive's root).
struct SearchSkips {
    int refused = 0;
    int foreign = 0;
};

// Whether a name can mark a folder: relative, with no drive, no empty, "." or ".." part.
bool isMarkerName(const QString& name);

// The eight listings of the walk, level 0 (FileListA) to level 7 (FileListH).
using FolderListings = std::array<FolderListing, 8>;

// Appends every folder of levels 0 to 8 on the drives of class kde ("FD", "CD", "HD", "SD")
// that holds a file named soubor, in pre-order: "C:" for a root, "C:\Apps\Tool" below it.
// The walk of a drive stays on its file system, never enters a symbolic link and searches a
// folder met twice once. A folder the user may not enter is skipped, and so is a hit that
// another user could change; the result counts both. Only an input/output failure ends the
// search, with an error; the hits found so far stay. A name that is no marker finds nothing.
SearchSkips NajdiSouborHD(const QString& soubor, const QString& kde, const DriveInventory& drives,
                          FolderListings& lists, SearchResults& results, SearchProgress& barA,
                          SearchProgress& barB);

}  // namespace selvanix
