#pragma once

#include "RunRequest.h"
#include "platform/handles/CheckedProgram.h"
#include "store/TargetLock.h"  // unwritableTarget

#include <QString>
#include <QStringList>
#include <exception>

namespace selvanix {

namespace net {
class WebHTTPGet;
}

// One Czech sentence that tells a user why a step came to nothing; shown below the outcome
// and in reports.

// Why a download left no file: cancelled (`finished` false), refused by the server, the server
// not answering, no room on disk...
QString downloadFailure(const net::WebHTTPGet& get, bool finished, const QString& fileName);

// A channel setting that names no channel.
QString badChannel(const QString& channel);

// A package folder that lacks a file of the package (descriptor or archive).
QString missingPackageFile(const QString& folder, const QString& fileName);

// Why the run found nowhere to install: empty target fields, or a search that found nothing.
// A descriptor larger than a profile file may be, which is not read.
QString oversizedDescriptor(const QString& folder, const QString& fileName);

QString noTargetReason(TargetMode targetMode, const QString& searchedFile);

// A target the run could not install into, and why.
// A search marker that could leave its folder: the descriptor names none, or a path.
QString badMarkerReason(const QString& descriptorName, const QString& marker);

// Why the program of a target was not started.
QString programNotStarted(const QString& program, const QString& target,
                          platform::CheckedProgram::Refusal why);

QString installFailure(const QString& target, const std::exception& error);
QString missingTarget(const QString& target);
// A target in the installed copy's own data folder.
QString installersOwnFolder(const QString& target);
// A target without a record of what was installed into it.
QString noRecord(const QString& target);
// A target whose record is not of a whole package, which cannot be repaired from one.
QString partialRecord(const QString& target);
// A package that is not the one the target's record names.
QString otherPackage(const QString& target, const QString& recordedVersion);
// A target whose commit stopped half-way; its journal finishes it at the next touch.
QString unfinishedCommit(const QString& target);
// A staged file removed or replaced before the commit: nothing was changed.
QString stagedFileGone(const QString& target, const QString& path);
// A journal whose staged files are gone while their destinations are not what was written:
// it stays, and nothing more is done in that target.
QString lostStagedFiles(const QString& target, const QStringList& paths);
// A stop that came once the targets were being put in place.
QString programsHeldByStop();

// A target whose extraction stopped at an entry answered with Abort.
QString abortedEntry(const QString& target, const QString& message);
// What an entry's failure means, in Czech, for the causes the system's error number or the
// archiver's tells apart (a link on the way, a full disk, the file-size limit, a refused
// permission, a read-only disk, damaged data); empty for any other.
QString entryCause(int nativeError, int osError);
// "Nenainstalováno: a, b, c, d, e a 3 dalších (why; why)": the first five entries by name.
QString notInstalledEntries(const QStringList& entries, const QStringList& causes);

}  // namespace selvanix
