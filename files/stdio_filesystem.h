// The parts of IFileSystem that are plain C streams on both systems; the
// system halves (filesystem_posix.cpp, filesystem_win32.cpp) add opening,
// 64-bit seeking, removal and the current directory.
#pragma once

#include "files/filesystem.h"

class StdioFileSystem : public IFileSystem {
public:
    size_t Read(File& file, void* buffer, size_t size) override;
    size_t Write(File& file, const void* data, size_t size) override;
    bool Eof(File& file) override;
    bool ReadLine(File& file, std::string& line, size_t limit) override;
    bool WriteLine(File& file, const std::string& text) override;
    bool Flush(File& file) override;

protected:
    // Splits an fopen mode into the mode without 'x' and whether 'x' was given.
    static std::string PlainMode(const char* mode, bool* exclusive);
};
