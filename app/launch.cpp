#include "app/shell.h"

#include "platform/platform.h"

Shell& TheShell() {
    static Shell shell;
    return shell;
}

bool LaunchExecutable(const std::string& path, bool passRestart) {
    if (path.empty()) return false;
    const unsigned cp = platform::AnsiCodePage();
    // No quotes around the path: restart mode takes everything after "restart=".
    std::string argument = "restart=" + platform::ModulePath();
    platform::WideString file = platform::MultiByteToWide(cp, path.data(), path.size());
    platform::WideString params = platform::MultiByteToWide(cp, argument.data(), argument.size());
    return platform::LaunchProcess(file, passRestart ? &params : nullptr);
}
