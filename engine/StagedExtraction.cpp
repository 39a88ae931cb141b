#include "StagedExtraction.h"

namespace selvanix {

namespace {

// The transaction as the archiver stages into it, noting what each staged file is.
class TransactionSink final : public StagingSink {
public:
    TransactionSink(TargetTransaction& transaction, InstalledFiles& installed)
        : transaction_(transaction), installed_(installed) {}

    void below(QString prefix) { prefix_ = std::move(prefix); }
    QByteArray tag() const override { return transaction_.tag(); }
    bool staging(const QString& path) override { return transaction_.staging(prefix_ + path); }
    bool staged(const QString& path, const platform::StagedIdentity& file, std::uint64_t size,
                std::uint32_t crc) override {
        if (!transaction_.written(prefix_ + path, file, crc)) {
            return false;
        }
        installed_[prefix_ + path] = {size, crc};
        return true;
    }

private:
    TargetTransaction& transaction_;
    InstalledFiles& installed_;
    QString prefix_;
};

// The sink attached for one extraction, and detached however it ends.
struct Attached {
    Attached(TPakovna& archiver, StagingSink& sink) : archiver(archiver) {
        archiver.StageInto(&sink);
    }
    ~Attached() { archiver.StageInto(nullptr); }
    TPakovna& archiver;
};

}  // namespace

OpenPackage::OpenPackage(TPakovna& archiver, const Package& package) : archiver_(archiver) {
    archiver_.FileName = package.archivePath();
    // An archive that could not be opened at the check fails here as the archiver says.
    if (package.archive) {
        archiver_.OpenArchiveFile(*package.archive);
    } else {
        archiver_.OpenArchive(0);
    }
}

OpenPackage::~OpenPackage() {
    archiver_.CloseArchive();
}

QString landedPath(const InstallMask& mask, const TDirItem& entry) {
    return mask.prefix() + TPakovna::landingPath(entry.Name).value_or(entry.Name);
}

InstalledFiles extractSelection(TPakovna& archiver, const Package& package, const QString& target,
                                TargetTransaction& transaction, const EntrySelection& select,
                                const std::function<bool()>& ended) {
    InstalledFiles installed;
    TransactionSink sink(transaction, installed);
    const OpenPackage open(archiver, package);
    archiver.SetBaseAnchor(target);
    const Attached attached(archiver, sink);
    for (const InstallMask& m : kInstallMasks) {
        if (ended()) {
            break;
        }
        sink.below(m.prefix());
        archiver.BaseDir = m.below(target);
        archiver.TagFiles(QString::fromLatin1(m.mask), DefaultSearchAttr, QString());
        // Tagged by the mask, then kept or untagged by select.
        archiver.ExtractEntries([&](const TDirItem& entry) {
            return entry.Tagged && select(landedPath(m, entry), entry);
        });
    }
    return installed;
}

}  // namespace selvanix
