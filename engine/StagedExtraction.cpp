#include "StagedExtraction.h"

namespace selvanix {

namespace {

// The transaction as the archiver stages into it, noting what each staged file is.
class TransactionSink final : public StagingSink {
public:
    TransactionSink(TargetTransaction& transaction, QString prefix)
        : transaction_(transaction), prefix_(std::move(prefix)) {}

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

    InstalledFiles installed() && { return std::move(installed_); }

private:
    TargetTransaction& transaction_;
    QString prefix_;
    InstalledFiles installed_;
};

}  // namespace

InstalledFiles extractInto(TPakovna& archiver, TargetTransaction& transaction,
                           const QString& baseDir, const QString& prefix,
                           const std::function<void()>& extract) {
    TransactionSink sink(transaction, prefix);
    struct Staging {
        TPakovna& archiver;
        ~Staging() { archiver.Staging = nullptr; }
    } staging{archiver};
    archiver.BaseDir = baseDir;
    archiver.Staging = &sink;
    extract();
    return std::move(sink).installed();
}

}  // namespace selvanix
