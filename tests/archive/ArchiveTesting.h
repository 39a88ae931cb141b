#pragma once

#include "archive/ArcException.h"
#include "archive/ArcOutput.h"
#include "archive/BaseArchiver.h"

#include "support/ZipWriter.h"

#include <gtest/gtest.h>
#include <QByteArray>
#include <random>

namespace selvanix::test {

// An archiver over archive bytes in memory.
inline void openBytes(TArcBaseArchiver& arc, const QByteArray& bytes) {
    arc.openStream(ArchiveStream(bytes));
}

inline QByteArray decode(TArcBaseArchiver& arc, int index) {
    MemoryOutput out;
    arc.ExtractItem(index, out);
    return out.bytes();
}

// The native error an action raises, or 0.
template <typename Action>
int nativeErrorOf(Action&& action) {
    try {
        action();
    } catch (const EArcException& e) {
        return e.NativeError();
    }
    return 0;
}

inline QByteArray randomBytes(qsizetype size, unsigned seed = 7) {
    std::mt19937 gen(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return out;
}

inline QByteArray textBytes(qsizetype size) {
    QByteArray out;
    for (int i = 0; out.size() < size; ++i) {
        out += "line " + QByteArray::number(i) + " of a repetitive text file\n";
    }
    out.truncate(size);
    return out;
}

}  // namespace selvanix::test
