// Process entry: the parameter text the program's own launch writes,
// "restart=" and an existing program file, selects restart mode; anything
// else is a normal start.
#include <windows.h>

#include <string>

#include "app/commandline.h"
#include "app/shell.h"

namespace {

// Restart mode copies itself over its target: only an existing file, not a
// folder or a link to elsewhere, may be replaced.
bool IsProgramFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    std::string target;
    if (FindRestartTarget(commandLine, &target) && IsProgramFile(target)) return RunRestartMode(target);
    return RunNormalMode();
}
