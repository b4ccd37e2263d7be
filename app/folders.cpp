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

// "-" and 16 hex digits nobody can guess, so the name cannot be taken first.
platform::WideString RandomSuffix() {
    unsigned char bytes[8];
    if (!platform::RandomBytes(bytes, sizeof bytes)) return platform::WideString();
    static const char kHex[] = "0123456789abcdef";
    platform::WideString suffix = u"-";
    for (unsigned char b : bytes) {
        suffix.push_back(static_cast<char16_t>(kHex[b >> 4]));
        suffix.push_back(static_cast<char16_t>(kHex[b & 15]));
    }
    return suffix;
}

// The temporary folder holds the spool files (certificate and password) and
// the downloaded update, so it must be the user's alone and made new by this
// run. %TEMP% may be a folder that others can write (C:\Temp): a KovaApp there
// that is a link, someone else's, or cannot be emptied is never used (nor
// deleted through); a fresh sibling of a name nobody can guess is made
// instead. Empty when none can be made.
platform::WideString FreshTempFolder(const platform::WideString& wanted) {
    const platform::FolderKind found = platform::InspectFolder(wanted);
    // Whatever an earlier run left here, a downloaded update included, goes.
    if (found == platform::FolderKind::Own) platform::DeleteFolderTree(wanted);
    if ((found == platform::FolderKind::Own || found == platform::FolderKind::Missing) &&
        platform::CreateOwnerOnlyFolder(wanted))
        return wanted;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const platform::WideString suffix = RandomSuffix();
        if (suffix.empty() || wanted.size() + suffix.size() >= kMaxPath) break;
        if (platform::CreateOwnerOnlyFolder(wanted + suffix)) return wanted + suffix;
    }
    return platform::WideString();
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
    if (!temp.empty()) temp = FreshTempFolder(temp);
    // Without one, bodies are built in memory and no update is downloaded.
    shell.tempFolder = temp.empty() ? std::string() : ToAnsi(temp);
}
