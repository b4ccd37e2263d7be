#include "app/updatenote.h"

#include "files/filesystem.h"
#include "platform/platform.h"

namespace {

const char kNoteName[] = "\\update-failed.txt";
const size_t kMaxVersion = 64;

bool PlainVersion(const std::string& text) {
    if (text.empty() || text.size() > kMaxVersion) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.')) return false;
    return true;
}

} // namespace

bool WriteFailedUpdate(const std::string& dataFolder, const std::string& version) {
    if (dataFolder.empty() || !PlainVersion(version)) return false;
    const unsigned cp = platform::AnsiCodePage();
    platform::CreateFolder(platform::MultiByteToWide(cp, dataFolder.data(), dataFolder.size()));
    IFileSystem& fs = IFileSystem::Instance();
    const std::string path = dataFolder + kNoteName;
    File file = fs.Open(path, "wb");
    if (!file.IsOpen()) return false;
    bool ok = fs.WriteLine(file, version);
    ok = file.Close() && ok;
    if (!ok) fs.Remove(path);
    return ok;
}

std::string ReadFailedUpdate(const std::string& dataFolder) {
    if (dataFolder.empty()) return std::string();
    IFileSystem& fs = IFileSystem::Instance();
    File file = fs.Open(dataFolder + kNoteName, "rb");
    std::string line;
    if (!file.IsOpen() || !fs.ReadLine(file, line, kMaxVersion + 2)) return std::string();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return PlainVersion(line) ? line : std::string();
}

void ForgetFailedUpdate(const std::string& dataFolder) {
    if (!dataFolder.empty()) IFileSystem::Instance().Remove(dataFolder + kNoteName);
}
