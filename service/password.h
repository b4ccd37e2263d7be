// Login passwords kept as salted PBKDF2-HMAC-SHA256, never in plain text.
#pragma once

#include <string>

namespace kovasvc {

struct PasswordHash {
    std::string salt;     // raw bytes
    std::string hash;     // raw bytes, 32
    int iterations = 0;
};

// A fresh random salt each call; false when the random source fails.
bool HashPassword(const std::string& password, int iterations, PasswordHash& out);
// Constant-time comparison; false for a record with an unusable iteration count.
bool VerifyPassword(const std::string& password, const PasswordHash& stored);

} // namespace kovasvc
