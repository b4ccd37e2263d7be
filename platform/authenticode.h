// Authenticode signatures of Windows executables (Windows only): who signed a
// file, and whether its signature holds. The update trusts nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

// SHA-256 of a DER-encoded SubjectPublicKeyInfo: names a signing key,
// whatever certificate carries it.
typedef std::array<uint8_t, 32> KeyDigest;

// A file opened for reading that nobody may write, rename or delete while it
// is held (shared for reading only). Move-only; closes on destruction.
class ReadLockedFile {
public:
    ReadLockedFile() = default;
    ~ReadLockedFile() { Close(); }
    ReadLockedFile(ReadLockedFile&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    ReadLockedFile& operator=(ReadLockedFile&& other) noexcept;
    ReadLockedFile(const ReadLockedFile&) = delete;
    ReadLockedFile& operator=(const ReadLockedFile&) = delete;

    // `path` in the ANSI code page; closes any file held before. False when
    // it cannot be opened so (missing, or already open for writing).
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    void* Handle() const { return handle_; }

private:
    void* handle_ = nullptr;
};

// The signer key of the running executable's own signature, read without
// validating it: an expired certificate still names its key. False when the
// executable carries no signature.
bool ModuleSignerKey(KeyDigest* key);

// True when the held file carries an Authenticode signature that
// WinVerifyTrust accepts (the generic verify action: the file's own hash and
// a chain to a trusted root; no UI, no revocation fetch) and nothing follows
// the signature block. *signer then names the signer's key. `path` names the
// same file. Reads the file in pieces; never holds it whole in memory.
bool VerifyFileSignature(const ReadLockedFile& file, const std::string& path, KeyDigest* signer);

} // namespace platform
