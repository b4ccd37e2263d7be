// Linux half of file access: paths arrive in the process code page and the
// file system takes UTF-8.
#include <unistd.h>

#include <cstdio>

#include "text/encoding.h"
#include "files/stdio_filesystem.h"

namespace {

std::string NativePath(const std::string& path) { return WideToUtf8(AnsiToWide(path)); }

class PosixFileSystem : public StdioFileSystem {
public:
    File Open(const std::string& path, const char* mode) override {
        if (path.empty() || !mode) return File();
        bool exclusive = false;
        const std::string plain = PlainMode(mode, &exclusive);
        if (exclusive) return File(platform::CreateOwnerOnlyFile(AnsiToWide(path), plain.c_str()));
        return File(std::fopen(NativePath(path).c_str(), plain.c_str()));
    }

    bool Seek(File& file, int64_t offset, Origin origin) override {
        return file.IsOpen() && fseeko(file.stream(), static_cast<off_t>(offset), origin) == 0;
    }

    int64_t Tell(File& file) override {
        if (!file.IsOpen()) return -1;
        return static_cast<int64_t>(ftello(file.stream()));
    }

    bool Remove(const std::string& path) override { return !path.empty() && std::remove(NativePath(path).c_str()) == 0; }

    std::string CurrentDirectory() override {
        char buffer[4096];
        if (!getcwd(buffer, sizeof buffer)) return std::string();
        platform::WideString wide;
        if (!Utf8ToWide(std::string(buffer), wide) || wide.size() > 260) return std::string();
        return WideToAnsi(wide);
    }
};

} // namespace

IFileSystem& IFileSystem::Instance() {
    static PosixFileSystem instance;
    return instance;
}
