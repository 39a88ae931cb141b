#pragma once

// The package most installation tests install: a program that marks its start, files for
// every mask and files no mask takes.
#include "support/ZipWriter.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace selvanix::test {

// A program that leaves a marker in its working folder when it runs.
inline const QByteArray kProgram = "#!/bin/sh\necho installed > started.txt\n";

// extra entries go after the usual ones.
inline QByteArray packageArchive(const std::vector<ZipEntry>& extra = {}) {
    ZipWriter zip;
    const auto add = [&](const char* name, const QByteArray& data, bool executable = false) {
        ZipEntry entry;
        entry.name = name;
        entry.data = data;
        if (executable) {
            entry.versionMadeBy = 0x031E;  // made on Unix: the mode is in the high bits
            entry.externalAttr = 0100755u << 16;
        }
        zip.entries.push_back(entry);
    };
    add("brodelik.exe", kProgram, true);
    add("data/brodelik.sql", "create table t;");
    add("brodelik.chm", "help");
    add("lib/engine.dll", "dll");
    add("reports/list.fr3", "<report/>");
    add("readme.txt", "not taken");
    add("docs/notes.txt", "not taken either");
    zip.entries.insert(zip.entries.end(), extra.begin(), extra.end());
    return zip.build();
}

inline QByteArray descriptor(bool withRun) {
    QByteArray text = "\xEF\xBB\xBF[DEFINICE]\r\nhledany=brodelik.exe\r\n";
    text += QStringLiteral("nazev=Brodělík\r\n").toUtf8();
    text += "verze=14,20\r\ndatum=12.5.2023\r\n";
    if (withRun) {
        text += "run=brodelik.exe\r\n";
    }
    return text;
}

}  // namespace selvanix::test
