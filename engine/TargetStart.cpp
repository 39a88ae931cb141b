#include <unistd.h>

#include "FailureDetail.h"
#include "InstallEngine.h"
#include "platform/ShellOpen.h"
#include "platform/handles/CheckedProgram.h"

namespace selvanix {

int InstallEngine::SpustFile(const QString& fileName, const QString& params,
                             const QString& defaultDir, int showCmd) {
    return startChecked(fileName, params, defaultDir, showCmd).shellResult;
}

InstallEngine::Started InstallEngine::startChecked(const QString& fileName, const QString& params,
                                                   const QString& defaultDir, int showCmd) {
    const auto refused = [&](platform::CheckedProgram::Refusal why) {
        return Started{platform::SE_ERR_ACCESSDENIED, programNotStarted(fileName, defaultDir, why)};
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
    return {result, std::nullopt};
}

}  // namespace selvanix
