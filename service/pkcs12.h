// Opening an uploaded PKCS#12 (PFX) file, signing with its key and checking its
// certificate against the local CA.
#pragma once

#include <string>

#include "ossl.h"

namespace kovasvc {

enum class PfxStatus { Ok, NotPkcs12, WrongPassword, NoKey };

struct PfxIdentity {
    KeyPtr key;
    X509Ptr cert;
    std::string alias;      // friendly name, UTF-8; empty when the file has none
    std::string serialHex;  // upper-case hex, no separators
    std::string subjectCn;  // UTF-8
};

// `der` is the file's bytes. The MAC is checked before parsing so that a wrong
// password is told apart from a damaged file.
PfxStatus OpenPfx(const std::string& der, const std::string& password, PfxIdentity& out);

// RSA/ECDSA signature over SHA-256 of `data`, base64 without line breaks.
bool SignSha256(EVP_PKEY* key, const std::string& data, std::string& base64);

// True when `cert` chains to the CA in `caPemPath` and is inside its validity.
bool IssuedByCa(X509* cert, const std::string& caPemPath);

// PFX files exported by older tools use RC2/3DES, which OpenSSL 3 keeps in
// its "legacy" provider. Loads it next to the default one when present.
void EnableLegacyPfx();

std::string Base64(const std::string& bytes);
std::string SerialHex(const X509* cert);
std::string SubjectCn(const X509* cert);

} // namespace kovasvc
