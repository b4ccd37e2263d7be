// Process entry: the parameter text the program's own launch writes,
// "restart=" and an existing program file, selects restart mode; anything
// else is a normal start.
#include <windows.h>

#include <string>

#include "app/commandline.h"
#include "app/shell.h"
#include "app/testhooks.h"

namespace {

// DLLs outside the KnownDLLs are delay-loaded (cmake/DelayLoad.cmake) and
// must then come from System32 alone, never from the program's own folder
// (often Downloads, where a planted wininet.dll may wait) or the current
// one. Looked up at run time: Windows 7 has it only with KB2533623, and
// there at least the current folder leaves the search.
void LimitDllSearchToSystem32() {
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    const SetDefaultDllDirectoriesFn setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDirectories || !setDirectories(kSearchSystem32)) SetDllDirectoryW(L"");
}

// Restart mode copies itself over its target: only an existing file, not a
// folder or a link to elsewhere, may be replaced.
bool IsProgramFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    LimitDllSearchToSystem32();  // first: before any delay-loaded DLL is called
    MarkStart("main");
    std::string target;
    if (FindRestartTarget(commandLine, &target) && IsProgramFile(target)) return RunRestartMode(target);
    return RunNormalMode();
}
