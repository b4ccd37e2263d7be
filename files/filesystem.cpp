#include "files/stdio_filesystem.h"

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        stream_ = other.stream_;
        other.stream_ = nullptr;
    }
    return *this;
}

bool File::Close() {
    if (!stream_) return true;
    std::FILE* stream = stream_;
    stream_ = nullptr;
    return std::fclose(stream) == 0;
}

size_t StdioFileSystem::Read(File& file, void* buffer, size_t size) {
    if (!file.IsOpen() || !buffer || size == 0) return 0;
    return std::fread(buffer, 1, size, file.stream());
}

size_t StdioFileSystem::Write(File& file, const void* data, size_t size) {
    if (!file.IsOpen() || !data || size == 0) return 0;
    return std::fwrite(data, 1, size, file.stream());
}

bool StdioFileSystem::Eof(File& file) { return !file.IsOpen() || std::feof(file.stream()) != 0; }

bool StdioFileSystem::ReadLine(File& file, std::string& line, size_t limit) {
    line.clear();
    if (!file.IsOpen()) return false;
    while (line.size() < limit) {
        int c = std::fgetc(file.stream());
        if (c == EOF) break;
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !line.empty();
}

bool StdioFileSystem::WriteLine(File& file, const std::string& text) {
    if (!file.IsOpen()) return false;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size()) return false;
    return std::fputc('\n', file.stream()) != EOF;
}

bool StdioFileSystem::Flush(File& file) { return file.IsOpen() && std::fflush(file.stream()) == 0; }

std::string StdioFileSystem::PlainMode(const char* mode, bool* exclusive) {
    std::string plain;
    *exclusive = false;
    for (const char* m = mode ? mode : ""; *m; ++m) {
        if (*m == 'x') {
            *exclusive = true;
        } else {
            plain.push_back(*m);
        }
    }
    return plain;
}
