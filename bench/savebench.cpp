// One save of the installer's full settings (every key of UlozCFG), two ways, in the same run on
// the same file system: "per key" writes each key to disk on its own, as saves did before
// changes were kept pending; "one rewrite" is the installer's save now. Prints the medians.
//   savebench FOLDER ROUNDS
#include "config/SettingsFile.h"
#include "profile/IniFile.h"
#include "profile/PrivateProfile.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace selvanix;

namespace {

SettingsToWrite fullSettings() {
    SettingsToWrite s;
    s.program = 4;
    s.source = 1;
    s.packageFolder = QStringLiteral("E:\\Balicky\\Brodelik");
    s.targetMode = 0;
    for (int i = 0; i < kTargetCount; ++i) {
        s.targets[i] = QStringLiteral("C:\\Programy\\Cil%1").arg(i + 1);
    }
    s.koukani = true;
    s.date = QStringLiteral("8.12.2026");
    return s;
}

// The same keys, each flushed on its own.
void perKey(const QString& file, const SettingsToWrite& s) {
    TIniFile ini(file);
    const QString section = QString::fromUtf16(kDefiniceSection);
    const auto put = [&](const QString& key, const QString& value) {
        ini.WriteString(section, key, value);
        WritePrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, file);
    };
    ini.EraseSection(section);
    WritePrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, file);
    put(QStringLiteral("program"), QString::number(s.program));
    put(QStringLiteral("odkud"), QString::number(s.source));
    put(QStringLiteral("odkudcesta"), s.packageFolder);
    put(QStringLiteral("cilinstalace"), QString::number(s.targetMode));
    for (int i = 0; i < kTargetCount; ++i) {
        put(targetKey(i), s.targets[i]);
    }
    put(QStringLiteral("koukani"), s.koukani ? QStringLiteral("Y") : QStringLiteral("N"));
    put(QStringLiteral("automaticky"), s.automaticky ? QStringLiteral("Y") : QStringLiteral("N"));
    put(QStringLiteral("datum"), s.date);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: savebench FOLDER ROUNDS\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/upgrade.kac");
    const int rounds = std::max(1, std::atoi(argv[2]));
    const SettingsToWrite settings = fullSettings();
    std::vector<double> before;
    std::vector<double> now;
    for (int r = 0; r < rounds; ++r) {
        for (int way = 0; way < 2; ++way) {
            const bool first = (r + way) % 2 == 0;  // rotated order
            QElapsedTimer clock;
            clock.start();
            if (first) {
                perKey(file, settings);
            } else {
                writeSettings(file, settings);
            }
            (first ? before : now).push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
    }
    const double a = median(before);
    const double b = median(now);
    std::printf(
        "settings save (%d keys), medians of %d rounds: per key %.1f ms, one rewrite "
        "%.1f ms, %.1fx faster (%.3f of the time)\n",
        17, rounds, a, b, a / b, b / a);
    return 0;
}
