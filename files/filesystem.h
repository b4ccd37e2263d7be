// File access for the upload and spool files. Paths are strings in the
// process code page; they are converted to wide strings for the wide C
// runtime functions on Windows (_wfopen and friends), to UTF-8 on Linux.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// An open stream; closes it on destruction. Move-only.
class File {
public:
    File() = default;
    explicit File(std::FILE* stream) : stream_(stream) {}
    ~File() { Close(); }
    File(File&& other) noexcept : stream_(other.stream_) { other.stream_ = nullptr; }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return stream_ != nullptr; }
    std::FILE* stream() const { return stream_; }
    // Closes the stream (if any); false when fclose reported an error, as a
    // failed final write does.
    bool Close();

private:
    std::FILE* stream_ = nullptr;
};

class IFileSystem {
public:
    enum Origin { kBegin = SEEK_SET, kCurrent = SEEK_CUR, kEnd = SEEK_END };

    virtual ~IFileSystem() = default;

    // The process-wide instance.
    static IFileSystem& Instance();

    // fopen modes ("rb", "wb", "ab", "r+b" ...). An 'x' after 'w' creates the
    // file new and the current user's alone from its first moment: the open
    // fails when anything stands at the name, a link included. Not open on
    // failure.
    virtual File Open(const std::string& path, const char* mode) = 0;
    bool Close(File& file) { return file.Close(); }
    // Offsets are 64-bit even in the 32-bit program; false on failure.
    virtual bool Seek(File& file, int64_t offset, Origin origin) = 0;
    // Current position; -1 on failure.
    virtual int64_t Tell(File& file) = 0;
    // Reads at most `size` bytes; returns how many arrived (0 at the end).
    virtual size_t Read(File& file, void* buffer, size_t size) = 0;
    // Returns how many bytes were written; short only on failure.
    virtual size_t Write(File& file, const void* data, size_t size) = 0;
    // True once a read has hit the end of the file.
    virtual bool Eof(File& file) = 0;
    // Reads up to and including the next '\n', at most `limit` bytes; the line
    // is returned with its '\n'. False at the end with nothing read.
    virtual bool ReadLine(File& file, std::string& line, size_t limit) = 0;
    // Writes `text` and a '\n'; false unless all of it was written.
    virtual bool WriteLine(File& file, const std::string& text) = 0;
    virtual bool Flush(File& file) = 0;
    // Deletes a file; false when it could not.
    virtual bool Remove(const std::string& path) = 0;
    // The current directory in the process code page, at most 260 characters;
    // empty when it cannot be read or is longer.
    virtual std::string CurrentDirectory() = 0;
};
