#include "CheckedProgram.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>

namespace selvanix::platform {

CheckedProgram CheckedProgram::open(const FolderHandle& folder, const QString& name,
                                    const OwnerRule& rule, bool mayOpenOthers) {
    CheckedProgram program;
    QString path = name.trimmed();
    path.replace(u'\\', u'/');
    QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty() || path.startsWith(u'/')) {
        return program;
    }
    const QByteArray leaf = QFile::encodeName(parts.takeLast());
    std::optional<FolderHandle> below;
    for (const QString& part : parts) {
        FolderHandle::Refusal why = FolderHandle::Refusal::None;
        auto next = (below ? *below : folder).enter(QFile::encodeName(part), false, &why);
        if (!next) {
            program.refusal_ =
                why == FolderHandle::Refusal::Link ? Refusal::Link : Refusal::Missing;
            return program;
        }
        below = std::move(next);
    }
    const FolderHandle& in = below ? *below : folder;
    // Non-blocking, so a pipe planted at the name cannot hold the run.
    const int fd = ::openat(in.descriptor(), leaf.constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        program.refusal_ = errno == ELOOP ? Refusal::Link : Refusal::Missing;
        return program;
    }
    program.file_ = File(fd);
    if (::fstat(fd, &program.status_) != 0 || !S_ISREG(program.status_.st_mode)) {
        program.refusal_ = Refusal::NotRegular;
    } else if (!rule.safe(program.status_)) {
        program.refusal_ = Refusal::Foreign;
    } else if (!program.executable() && !mayOpenOthers) {
        program.refusal_ = Refusal::NotExecutable;
    } else {
        program.refusal_ = Refusal::None;
    }
    return program;
}

}  // namespace selvanix::platform
