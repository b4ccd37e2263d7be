// The text encodings of request bodies, separate from HTTPRequest so that
// they can be checked byte for byte.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace net {

// Storage that is wiped before it goes back to the heap, so a growing
// buffer leaves no copy of a password or a certificate behind it.
template <class T>
struct WipingAllocator {
    typedef T value_type;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) {}
    T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, size_t n) {
        platform::WipeMemory(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const WipingAllocator<U>&) const { return false; }
};
// A text that may hold secrets: wiped when its heap storage is given up. A
// short value inside the object itself is the owner's to wipe.
typedef std::basic_string<char, std::char_traits<char>, WipingAllocator<char>> SecretText;
typedef std::vector<char, WipingAllocator<char>> SecretBytes;

// Letters, digits and "-_.~" stay; a space becomes "+" (or "%20" with
// `spaceAsPercent`); every other byte becomes "%XX" in upper-case hex. Bytes
// are taken as stored, with no change of character encoding.
std::string UrlEncode(const std::string& text, bool spaceAsPercent = false);
void AppendUrlEncoded(SecretText& out, const std::string& text, bool spaceAsPercent = false);

// A form-data name or file name as it goes between double quotes: '"', CR and
// LF are percent-encoded (as browsers do), so no text can end the quoted
// value or start a header line of its own.
std::string QuoteSafe(const std::string& text);

// A text as the inside of a JSON string: quote, backslash and control bytes
// escaped; bytes 0x80 and above pass unchanged (they are UTF-8 already).
std::string JsonEscape(const std::string& text);
void AppendJsonEscaped(SecretText& out, const std::string& text);

// A fresh multipart boundary: dashes and 32 hex digits from the system's
// random source, so no sender can plan a value that ends its part.
std::string NewBoundary();

// Looks for `needle` in a text that arrives in pieces, across the joins too.
class NeedleScan {
public:
    explicit NeedleScan(const std::string& needle) : needle_(needle) {}
    ~NeedleScan();
    NeedleScan(const NeedleScan&) = delete;
    NeedleScan& operator=(const NeedleScan&) = delete;
    void Feed(const char* data, size_t length);
    bool Found() const { return found_; }

private:
    std::string needle_;
    // The last needle_.size() - 1 bytes seen: part of a certificate, so
    // wiped. What is fed is searched where it lies, never copied.
    SecretText tail_;
    bool found_ = false;
};

// "http_post_%02d.body" for the counter value modulo 10.
std::string SpoolFileName(uint32_t counter);

// `folder` joined with `name`, with the separator the folder already uses
// ("\" when it holds one, else "/").
std::string JoinPath(const std::string& folder, const std::string& name);

} // namespace net
