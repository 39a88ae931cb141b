// The folder search over one drive mapped to a folder; prints the hits, one a line.
//   searchbench ROOT NAME
#include "locate/DriveInventory.h"
#include "locate/FolderSearch.h"
#include "platform/DriveMap.h"

#include <cstdio>

using namespace selvanix;

namespace {

class NoProgress : public SearchProgress {
public:
    void show() override {}
    void hide() override {}
    void setMaximum(int) override {}
    void setPosition(int) override {}
};

class Printed : public SearchResults {
public:
    void append(const QString& folder) override { std::printf("%s\n", qUtf8Printable(folder)); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: searchbench ROOT NAME\n");
        return 2;
    }
    platform::DriveMap map;
    map.setDrive(u'C', QString::fromLocal8Bit(argv[1]), platform::DRIVE_FIXED);
    platform::setDriveMap(map);
    DriveInventory drives;
    GetDrives(drives);
    FolderListings lists;
    Printed hits;
    NoProgress a;
    NoProgress b;
    NajdiSouborHD(QString::fromLocal8Bit(argv[2]), QStringLiteral("HD"), drives, lists, hits, a, b);
    return 0;
}
