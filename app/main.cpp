// Process entry: the first "restart=" anywhere in the command line selects
// restart mode; anything else is a normal start.
#include <windows.h>

#include <string>

#include "app/commandline.h"
#include "app/shell.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    std::string target;
    if (FindRestartTarget(commandLine, &target)) return RunRestartMode(target);
    return RunNormalMode();
}
