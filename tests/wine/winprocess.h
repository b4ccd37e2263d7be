// Process and window helpers for tests that drive programs under Wine.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

// A Unix path from the build (ctest's environment) as a Windows path on Z:.
std::wstring FromUnixPath(const char* unixPath);
std::wstring EnvPath(const char* variable);

std::string ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool Exists(const std::wstring& path);
// Names in a folder, without "." and "..".
std::vector<std::wstring> ListFolder(const std::wstring& folder);
void RemoveTree(const std::wstring& path);
// Makes `work`\temp and `work`\local and points TEMP and LOCALAPPDATA at
// them, for this process and every process it starts.
void UseFoldersUnder(const std::wstring& work, std::wstring* temp, std::wstring* local);

// Starts `exe` with `arguments` after the quoted program name.
bool Start(const std::wstring& exe, const std::wstring& arguments, PROCESS_INFORMATION* pi);
// Exit code after waiting up to `ms`; -1 when still running.
long WaitExit(HANDLE process, DWORD ms);

std::vector<DWORD> ProcessesNamed(const wchar_t* exeName);
void KillProcessesNamed(const wchar_t* exeName);
// The first visible top-level window of `pid` (with `className` when given), waiting up to `ms`.
HWND WaitWindow(DWORD pid, const wchar_t* className, DWORD ms);
std::wstring WindowText(HWND hwnd);
// True when a child of `dialog` shows `text`.
bool DialogShows(HWND dialog, const std::wstring& text);
// Closes the windows of `pid` as a person would and waits for it to end.
bool CloseAndWait(DWORD pid, DWORD ms);

} // namespace wintest
