#include <unistd.h>

#include "FailureDetail.h"
#include "InstallEngine.h"
#include "platform/CheckedProgram.h"
#include "platform/ShellOpen.h"

namespace selvanix {

int InstallEngine::SpustFile(const QString& fileName, const QString& params,
                             const QString& defaultDir, int showCmd) {
    const auto refused = [&](platform::CheckedProgram::Refusal why) {
        if (startProblem_.isEmpty()) {
            startProblem_ = programNotStarted(fileName, defaultDir, why);
        }
        return platform::SE_ERR_ACCESSDENIED;
    };
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(defaultDir);
    if (!folder) {
        return refused(platform::CheckedProgram::Refusal::Missing);
    }
    // The desktop's opener is for an ordinary user only: root opens no other files.
    const bool mayOpenOthers = ::geteuid() != 0;
    const platform::CheckedProgram program = platform::CheckedProgram::open(
        *folder, fileName, platform::OwnerRule::forProcess(), mayOpenOthers);
    if (program.refusal() != platform::CheckedProgram::Refusal::None) {
        return refused(program.refusal());
    }
    platform::ShellRequest request{fileName, params, defaultDir, showCmd};
    request.program = program.descriptor();
    request.workingFolder = folder->descriptor();
    const int result = platform::shell().open(request);
    observer_.programStarted(defaultDir, fileName);
    return result;
}

}  // namespace selvanix
