// The application shell: process entry in normal and restart mode, the data
// and temporary folders, and the process-wide objects it owns.
#pragma once

#include <string>

#include "platform/platform.h"

class HTTPConnectionImp;
class KovaCenter;
class TaskScheduler;

// What normal start-up makes, owned by the shell until clean-up. The service
// objects join here as they are built.
struct Shell {
    std::string dataFolder;  // %LOCALAPPDATA%\KovaApp, ANSI; empty when unset
    std::string tempFolder;  // %TEMP%\KovaApp (or a fresh sibling), ANSI, made new by this run and
                             // the user's alone; empty when unset or none could be made
    TaskScheduler* scheduler = nullptr;
    HTTPConnectionImp* connection = nullptr;  // the shell's reference
    KovaCenter* center = nullptr;
    bool workersStopped = false;  // set by EndExchanges
};

// The one instance, for the operations below and for the windows.
Shell& TheShell();

// Starts another executable, never waiting for it. With `passRestart` it gets
// the single argument "restart=" + this executable's own path, unquoted.
// False when `path` is empty or the shell reports failure.
bool LaunchExecutable(const std::string& path, bool passRestart);

// Asks the service client to download the update into the temporary folder
// as "kovaapp.exe", reporting to `window` (an HWND). When no download can
// start (no client, no temporary folder, the client refuses) the window is
// told at once that the download failed (WM_USER + 6 with 0): it has already
// announced one and must not wait for ever.
void StartUpdateDownload(void* window);

// True when this program's own folder takes new files, so that an update
// can replace it. Installed for all users (under Program Files) it does not,
// and no update is downloaded. `probe` is the platform's unless a test gives
// its own.
bool ProgramFolderWritable(const std::string& programPath,
                           bool (*probe)(const std::string& folder) = platform::CanCreateFileIn);

// Restart mode: copy this executable over `target`, start it without
// arguments, or report "複製檔案失敗" and note in the data folder that this
// version could not be installed. Makes no object and no window.
int RunRestartMode(const std::string& target);

// %LOCALAPPDATA%\KovaApp in the ANSI code page; empty when the variable is
// unset or the path would be too long.
std::string DataFolderPath();

// Normal mode: folders, process-wide objects, windows, message loop, update
// launch and clean-up.
int RunNormalMode();

// Steps of normal start-up and clean-up, in the order RunNormalMode calls them.
void PrepareFolders(Shell& shell);
// False, after telling the user, when the scheduler cannot start: nothing is
// made and start-up ends.
bool CreateProcessObjects(Shell& shell);
// Aborts open exchanges and stops the workers once none runs: from then on no
// completion changes the client. False when an exchange would not end after
// its abort (the workers are then left running). Safe to call twice.
bool EndExchanges(Shell& shell);
// Ends the exchanges, then releases the client, the scheduler and the
// connection. False when an exchange would not end: the workers and the
// objects they use are then left running and the caller ends the process.
bool ReleaseProcessObjects(Shell& shell);
