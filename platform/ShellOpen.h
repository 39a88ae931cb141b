#pragma once

#include <QString>
#include <memory>

namespace selvanix::platform {

constexpr int SW_SHOWNORMAL = 1;

// Results as the shell reports them: above 32 on success.
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_NOASSOC = 31;
constexpr int SHELL_OPEN_OK = 42;

struct ShellRequest {
    QString file;
    QString params;
    QString dir;
    int show = SW_SHOWNORMAL;
    // A checked open file to start instead of whatever the name means by now, and the open
    // working folder; -1 for none. The file is the name's only when it has an execute bit.
    int program = -1;
    int workingFolder = -1;
};

// Asks the desktop to open a file; never throws.
class Shell {
public:
    virtual ~Shell() = default;
    virtual int open(const ShellRequest& request) noexcept = 0;
};

// Starts a file with an execute bit directly, detached, in the given working folder; hands
// any other file to the desktop's opener. A request with an open program starts that very
// file (fexecve, after fchdir to the open working folder). The show mode has no meaning here.
class LinuxShell : public Shell {
public:
    int open(const ShellRequest& request) noexcept override;
};

void setShell(std::shared_ptr<Shell> shell);
Shell& shell();

// Paths are installer paths; returns the shell's result.
int ShellOpen(const QString& file, const QString& params, const QString& dir, int show);

}  // namespace selvanix::platform
