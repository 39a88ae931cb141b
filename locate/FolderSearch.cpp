#include "FolderSearch.h"

#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>

namespace selvanix {

namespace {

constexpr int kDeepestListed = 7;
constexpr int kDeepestTested = 8;

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
        : soubor_(soubor), lists_(lists), results_(results) {
        const QString name = soubor;
        searchable_ = !name.isEmpty() && !platform::hasDrive(name) && !name.startsWith(u'\\') &&
                      !name.startsWith(u'/');
    }

    // A file of the searched name in the folder; hidden and system files count, links to files
    // too, folders do not.
    bool isHit(const QString& folder) const {
        if (!searchable_) {
            return false;
        }
        const QString host = platform::toHostPath(folder + u'\\' + soubor_);
        struct stat st {};
        return !host.isEmpty() && ::stat(QFile::encodeName(host).constData(), &st) == 0 &&
               !S_ISDIR(st.st_mode);
    }

    void test(const QString& folder) {
        if (isHit(folder)) {
            results_.append(folder);
        }
    }

    // The same test through the folder's listing, which holds the folder open.
    void test(const QString& folder, const FolderListing& listing) {
        if (searchable_ && listing.holdsFile(soubor_)) {
            results_.append(folder);
        }
    }

    // Visits entry text of a level n-1 listing under parent at level n.
    void visit(const QString& parent, const QString& text, int level) {
        if (text == u"[.]" || text == u"[..]" || !text.contains(u'[')) {
            return;
        }
        const QString folder = parent + u'\\' + text.mid(1, text.size() - 2);
        if (level > kDeepestListed) {
            if (platform::directoryExists(folder)) {
                test(folder);
            }
            return;
        }
        FolderListing& listing = lists_[static_cast<size_t>(level)];
        if (!listing.setExistingDirectory(folder + u'\\')) {
            return;  // gone since it was listed
        }
        test(folder, listing);
        // The listing is read once; a deeper visit uses the next level's listing.
        const QStringList entries = listing.items();
        for (const QString& entry : entries) {
            visit(folder, entry, level + 1);
        }
    }

    FolderListing& root() { return lists_[0]; }

private:
    QString soubor_;
    bool searchable_ = false;
    FolderListings& lists_;
    SearchResults& results_;
};

// Entering a drive: its root must let us search it.
void enterDrive(QChar letter) {
    const QString host = platform::toHostPath(QString(letter) + QStringLiteral(":\\"));
    if (host.isEmpty()) {
        throw EInOutError(21);  // drive not ready
    }
    const int fd = enterFolder(host);
    if (fd < 0) {
        throw EInOutError(2);
    }
    ::close(fd);
}

}  // namespace

void NajdiSouborHD(const QString& soubor, const QString& kde, const DriveInventory& drives,
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
            return;  // not a drive letter: the search ends here
        }
        enterDrive(disk);
        const QString p = QString(disk) + u':';
        if (!platform::directoryExists(p)) {
            continue;
        }
        walk.root().setDirectory(p + u'\\');
        walk.test(p, walk.root());
        const QStringList entries = walk.root().items();
        barB.setMaximum(static_cast<int>(entries.size()));
        for (int j = 0; j < entries.size(); ++j) {
            barB.setPosition(j + 1);
            walk.visit(p, entries[j], 1);
        }
    }
    barA.setPosition(0);
    barB.setPosition(0);
}

}  // namespace selvanix
