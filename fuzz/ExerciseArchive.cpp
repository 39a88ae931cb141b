#include "ExerciseArchive.h"

#include "archive/ArcException.h"
#include "archive/ArcOutput.h"
#include "archive/BaseArchiver.h"

namespace selvanix::fuzz {

namespace {

// Counts what it is given and keeps nothing.
class CountingOutput : public ArcOutput {
public:
    qint64 write(const char*, qint64 size) override {
        position_ += size;
        return size;
    }
    qint64 position() const override { return position_; }
    bool seek(qint64 position) override {
        position_ = position;
        return true;
    }

private:
    qint64 position_ = 0;
};

}  // namespace

int exerciseArchive(const QByteArray& bytes) {
    TArcBaseArchiver arc;
    arc.Password = "fuzz";
    arc.OnPassword = [](TArcBaseArchiver&, const QString&, QByteArray&, bool& skip) {
        skip = true;
    };
    try {
        arc.openStream(ArchiveStream(bytes));
    } catch (const Exception&) {
        return 0;
    }
    const int count = arc.directory().Count();
    for (int i = 0; i < count; ++i) {
        CountingOutput out;
        arc.clearCancel();
        try {
            arc.ExtractItem(i, out);
        } catch (const Exception&) {
            // A failed entry.
        }
    }
    return count;
}

}  // namespace selvanix::fuzz
