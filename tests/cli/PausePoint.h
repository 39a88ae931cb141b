#pragma once

// Runs held at a pause point of the test build (selvanix-hooked) while a test acts beside them.
#include "support/TestDrives.h"

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <map>

namespace selvanix::test {

// A run held where the engine calls pausePoint(name).
class Pause {
public:
    Pause(const QString& folder, const char* name) : folder_(folder), name_(name) {}
    void arm(std::map<QString, QString>& env) const {
        env["SELVANIX_PAUSE_AT"] = name_;
        env["SELVANIX_PAUSE_DIR"] = folder_;
    }
    // Until the process is there; false when it ended first.
    bool reached(QProcess& p) const {
        for (int i = 0; i < 3000; ++i) {
            if (QFileInfo::exists(file(".reached"))) {
                return true;
            }
            if (p.state() == QProcess::NotRunning || p.waitForFinished(20)) {
                return false;
            }
        }
        return false;
    }
    void release() const { writeBytes(file(".go"), ""); }

private:
    QString file(const char* suffix) const { return folder_ + u'/' + name_ + suffix; }
    QString folder_;
    QString name_;
};

}  // namespace selvanix::test
