#include "FolderSearch.h"

#include "VisitedFolders.h"
#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/OwnerRule.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cerrno>

namespace selvanix {

namespace {

constexpr int kDeepestListed = 7;

// Hides both bars however the search ends.
class HideOnExit {
public:
    HideOnExit(SearchProgress& a, SearchProgress& b) : a_(a), b_(b) {}
    HideOnExit(const HideOnExit&) = delete;
    HideOnExit& operator=(const HideOnExit&) = delete;
    ~HideOnExit() {
        a_.hide();
        b_.hide();
    }

private:
    SearchProgress& a_;
    SearchProgress& b_;
};

class Walk {
public:
    Walk(const QString& soubor, FolderListings& lists, SearchResults& results)
        : soubor_(soubor),
          searchable_(isMarkerName(soubor)),
          lists_(lists),
          results_(results),
          rule_(platform::OwnerRule::forProcess()) {
        sinceRepaint_.start();
    }

    // The drive's root: the walk stays on its file system.
    void beginDrive(const QString& drive) {
        FolderListing& root = lists_[0];
        device_ = root.status().st_dev;
        visited_.clear();
        visited_.firstVisit(root.status().st_ino);
        test(drive, root, true);
    }

    // Visits entry index of the level n-1 listing under parent at level n; aboveSafe says
    // whether every folder from the drive's root to the parent is beyond others' reach.
    void visit(const FolderListing& parentListing, const QString& parent, int index, int level,
               bool aboveSafe) {
        if (!parentListing.isFolder(index)) {
            return;  // a file, "[.]" or "[..]"
        }
        const QString& text = parentListing.item(index);
        const QString name = text.mid(1, text.size() - 2);
        const bool listed = level <= kDeepestListed;
        FolderListing& listing = listed ? lists_[static_cast<size_t>(level)] : deepest_;
        const FolderEntered entered = listing.setSubfolder(parentListing, name, listed);
        keepWindowAlive();
        if (entered == FolderEntered::Refused) {
            ++skipped_;
            return;
        }
        // Gone, a link, another file system (searched under its own letter, if any), or a
        // folder already searched by another way.
        if (entered != FolderEntered::Listed || listing.status().st_dev != device_ ||
            !visited_.firstVisit(listing.status().st_ino)) {
            return;
        }
        const QString folder = parent + u'\\' + name;
        test(folder, listing, aboveSafe);
        if (!listed) {
            return;
        }
        const bool belowSafe = aboveSafe && rule_.safeAbove(listing.status());
        for (int j = 0; j < listing.count(); ++j) {
            visit(listing, folder, j, level + 1, belowSafe);
        }
    }

    FolderListing& root() { return lists_[0]; }
    bool rootSafe() const { return rule_.safeAbove(lists_[0].status()); }
    SearchSkips skips() const { return {skipped_, foreign_}; }

private:
    // A file of the searched name in the folder; hidden and system files count, links to
    // files too, folders do not. A folder that another user could change, or whose way from
    // the drive's root another user could change, is no target: it is counted instead.
    void test(const QString& folder, const FolderListing& listing, bool aboveSafe) {
        if (!searchable_ || !listing.holdsFile(soubor_)) {
            return;
        }
        if (aboveSafe && rule_.safe(listing.status())) {
            results_.append(folder);
        } else {
            ++foreign_;
        }
    }

    // The walk of a real drive takes seconds: let the window repaint and its bars move, and
    // nothing else happen, about every 50 ms.
    void keepWindowAlive() {
        if (sinceRepaint_.elapsed() >= 50 && QCoreApplication::instance() != nullptr) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceRepaint_.restart();
        }
    }

    QString soubor_;
    bool searchable_ = false;
    FolderListings& lists_;
    FolderListing deepest_;  // a level-8 folder: tested, never listed
    SearchResults& results_;
    dev_t device_ = 0;
    VisitedFolders visited_;
    int skipped_ = 0;
    int foreign_ = 0;
    platform::OwnerRule rule_;
    QElapsedTimer sinceRepaint_;
};

// Entering a drive: its root must let us search it. False when the user may not.
bool enterDrive(QChar letter) {
    const QString host = platform::toHostPath(QString(letter) + QStringLiteral(":\\"));
    if (host.isEmpty()) {
        throw EInOutError(21);  // drive not ready
    }
    try {
        const int fd = enterFolder(host);
        if (fd < 0) {
            throw EInOutError(2);
        }
        ::close(fd);
    } catch (const EInOutError& e) {
        if (e.errorCode() == 5) {
            return false;
        }
        throw;
    }
    return true;
}

}  // namespace

bool isMarkerName(const QString& name) {
    if (name.isEmpty() || platform::hasDrive(name) || name.startsWith(u'\\') ||
        name.startsWith(u'/')) {
        return false;
    }
    QString parts = name;
    parts.replace(u'/', u'\\');
    for (const QString& part : parts.split(u'\\')) {
        if (part.isEmpty() || part == u"." || part == u"..") {
            return false;
        }
    }
    return true;
}

SearchSkips NajdiSouborHD(const QString& soubor, const QString& kde, const DriveInventory& drives,
                          FolderListings& lists, SearchResults& results, SearchProgress& barA,
                          SearchProgress& barB) {
    barA.show();
    barB.show();
    const HideOnExit hide(barA, barB);

    const DriveInventory::DriveList* list = nullptr;
    int pocetDisku = 0;
    if (kde == u"FD") {
        list = &drives.FDDisky;
        pocetDisku = drives.fd;
    } else if (kde == u"CD") {
        list = &drives.CDDisky;
        pocetDisku = drives.cd;
    } else if (kde == u"HD") {
        list = &drives.HDDisky;
        pocetDisku = drives.hd;
    } else if (kde == u"SD") {
        list = &drives.SDDisky;
        pocetDisku = drives.sd;
    }
    if (list != nullptr) {
        barA.setMaximum(pocetDisku);
    }

    Walk walk(soubor, lists, results);
    for (int i = 1; i <= pocetDisku; ++i) {
        barA.setPosition(i);
        const QChar disk = (*list)[static_cast<size_t>(i - 1)];
        if (disk.unicode() < u'A' || disk.unicode() > u'Z') {
            return walk.skips();  // not a drive letter: the search ends here
        }
        if (!enterDrive(disk)) {
            continue;  // a drive the user may not search is skipped like a folder
        }
        const QString p = QString(disk) + u':';
        if (!platform::directoryExists(p)) {
            continue;
        }
        FolderListing& root = walk.root();
        root.setDirectory(p + u'\\');
        walk.beginDrive(p);
        barB.setMaximum(root.count());
        const bool rootSafe = walk.rootSafe();
        for (int j = 0; j < root.count(); ++j) {
            barB.setPosition(j + 1);
            walk.visit(root, p, j, 1, rootSafe);
        }
    }
    barA.setPosition(0);
    barB.setPosition(0);
    return walk.skips();
}

}  // namespace selvanix
