// Windows half of file access: paths in the ANSI code page become wide
// strings for the wide C runtime functions, so any path the code page can
// spell opens, whatever the file system's own short names are.
#include <direct.h>

#include <cstdio>
#include <cwchar>

#include "text/encoding.h"
#include "files/stdio_filesystem.h"

namespace {

std::wstring WidePath(const std::string& path) {
    platform::WideString w = AnsiToWide(path);
    return std::wstring(w.begin(), w.end());
}

class Win32FileSystem : public StdioFileSystem {
public:
    File Open(const std::string& path, const char* mode) override {
        if (path.empty() || !mode) return File();
        bool exclusive = false;
        std::string plain = PlainMode(mode, &exclusive);
        if (exclusive) return File(platform::CreateOwnerOnlyFile(AnsiToWide(path), plain.c_str()));
        std::wstring wideMode(plain.begin(), plain.end());
        std::wstring widePath = WidePath(path);
        if (widePath.empty()) return File();
        return File(_wfopen(widePath.c_str(), wideMode.c_str()));
    }

    bool Seek(File& file, int64_t offset, Origin origin) override {
        return file.IsOpen() && _fseeki64(file.stream(), offset, origin) == 0;
    }

    int64_t Tell(File& file) override { return file.IsOpen() ? _ftelli64(file.stream()) : -1; }

    bool Remove(const std::string& path) override {
        std::wstring widePath = WidePath(path);
        return !widePath.empty() && _wremove(widePath.c_str()) == 0;
    }

    std::string CurrentDirectory() override {
        wchar_t buffer[261];
        if (!_wgetcwd(buffer, 261)) return std::string();
        size_t n = std::wcslen(buffer);
        return WideToAnsi(platform::WideString(buffer, buffer + n));
    }
};

} // namespace

IFileSystem& IFileSystem::Instance() {
    static Win32FileSystem instance;
    return instance;
}
