// The floor for the folder search: a bare walk with the same rules (levels 0-8 tested,
// 0-7 listed, dot-entries skipped, no link followed, one file system) and nothing else:
// readdir and fstatat, no names kept, no order. Prints the hit count.
//   barewalk ROOT NAME
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

const char* searched = nullptr;
dev_t device = 0;
long hits = 0;

void walk(int folder, int level) {
    struct stat st {};
    if (fstatat(folder, searched, &st, 0) == 0 && !S_ISDIR(st.st_mode)) {
        ++hits;
    }
    if (level == 8) {
        return;
    }
    const int listed = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.' ||
            fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_dev != device) {
            continue;
        }
        const int child =
            openat(dirfd(dir), entry->d_name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0) {
            walk(child, level + 1);
            close(child);
        }
    }
    closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: barewalk ROOT NAME\n");
        return 2;
    }
    searched = argv[2];
    const int root = open(argv[1], O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (root < 0 || fstat(root, &st) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    device = st.st_dev;
    walk(root, 0);
    std::printf("%ld\n", hits);
    return 0;
}
