#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <utility>
#include <vector>

namespace selvanix::fuzz {

// The corpus folder libFuzzer was given (its first argument that is no option), when it exists
// and is empty; there the fuzzer's first inputs are written.
inline void seedEmptyCorpus(int argc, char** argv,
                            const std::vector<std::pair<QString, QByteArray>>& seeds) {
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith(u'-')) {
            continue;
        }
        const QDir corpus(arg);
        if (corpus.exists() && corpus.isEmpty()) {
            for (const auto& [name, bytes] : seeds) {
                QFile seed(corpus.filePath(name));
                if (seed.open(QIODevice::WriteOnly)) {
                    seed.write(bytes);
                }
            }
        }
        return;
    }
}

}  // namespace selvanix::fuzz
