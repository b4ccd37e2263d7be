#include "password.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace kovasvc {
namespace {

constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
// A damaged row must not make one sign-in spin for minutes.
constexpr int kMaxIterations = 10000000;

bool Derive(const std::string& password, const std::string& salt, int iterations, std::string& out) {
    if (iterations <= 0 || iterations > kMaxIterations) return false;
    out.assign(kHashBytes, '\0');
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                             reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                             iterations, EVP_sha256(), kHashBytes, reinterpret_cast<unsigned char*>(&out[0])) == 1;
}

} // namespace

bool HashPassword(const std::string& password, int iterations, PasswordHash& out) {
    std::string salt(kSaltBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&salt[0]), kSaltBytes) != 1) return false;
    std::string hash;
    if (!Derive(password, salt, iterations, hash)) return false;
    out.salt = std::move(salt);
    out.hash = std::move(hash);
    out.iterations = iterations;
    return true;
}

bool VerifyPassword(const std::string& password, const PasswordHash& stored) {
    if (stored.hash.size() != kHashBytes) return false;
    std::string hash;
    if (!Derive(password, stored.salt, stored.iterations, hash)) return false;
    return CRYPTO_memcmp(hash.data(), stored.hash.data(), kHashBytes) == 0;
}

} // namespace kovasvc
