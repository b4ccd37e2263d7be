#include "app/shell.h"

#include "platform/platform.h"

namespace {

const size_t kMaxPath = 260;  // MAX_PATH, the appended "\KovaApp" and NUL included

// %name%\KovaApp as UTF-16; empty when the variable is unset or empty, or when
// the result would not fit MAX_PATH (a shortened path could name a parent
// folder, which the temporary folder's deletion must never reach).
platform::WideString AppFolder(const char* variable) {
    platform::WideString path = platform::GetEnvironment(variable);
    if (path.empty()) return path;
    path += u"\\KovaApp";
    if (path.size() >= kMaxPath) return platform::WideString();
    return path;
}

std::string ToAnsi(const platform::WideString& w) {
    return platform::WideToMultiByte(platform::AnsiCodePage(), w.data(), w.size());
}

} // namespace

std::string DataFolderPath() { return ToAnsi(AppFolder("LOCALAPPDATA")); }

bool ProgramFolderWritable(const std::string& programPath, bool (*probe)(const std::string& folder)) {
    const size_t slash = programPath.find_last_of("\\/");
    if (slash == std::string::npos || slash == 0) return false;
    return probe(programPath.substr(0, slash));
}

void PrepareFolders(Shell& shell) {
    platform::WideString data = AppFolder("LOCALAPPDATA");
    if (!data.empty()) {
        shell.dataFolder = ToAnsi(data);
        platform::CreateFolder(data);  // the result is of no consequence
    }
    platform::WideString temp = AppFolder("TEMP");
    if (!temp.empty()) {
        shell.tempFolder = ToAnsi(temp);
        // Whatever an earlier run left here, a downloaded update included, goes.
        // A folder that cannot be deleted (a file in it open) simply stays.
        platform::DeleteFolderTree(temp);
        platform::CreateFolder(temp);
    }
}
