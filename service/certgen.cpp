#include "certgen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

namespace kovasvc {
namespace {

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!ext) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

bool SetRandomSerial(X509* cert) {
    BnPtr bn(BN_new());
    // 63 bits with the top bit set: positive and always 16 hex digits.
    if (!bn || BN_rand(bn.get(), 63, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) != 1) return false;
    return BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(cert)) != nullptr;
}

// Opens for writing with the given mode, replacing any older file.
FILE* CreateFile(const std::string& path, mode_t mode) {
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    FILE* f = fdopen(fd, "wb");
    if (!f) close(fd);
    return f;
}

} // namespace

KeyPtr GenerateRsaKey(int bits) { return KeyPtr(EVP_RSA_gen(static_cast<unsigned>(bits))); }

X509Ptr MakeCertificate(const CertDesc& desc, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey) {
    X509Ptr cert(X509_new());
    if (!cert || X509_set_version(cert.get(), 2) != 1 || !SetRandomSerial(cert.get())) return nullptr;
    // An hour back, so a clock a little behind still accepts a fresh certificate.
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * desc.days);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("TW"), -1, -1, 0);
    if (!desc.organization.empty()) {
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(desc.organization.c_str()), -1, -1, 0);
    }
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(desc.commonName.c_str()), -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    EVP_PKEY* signerKey = issuerKey ? issuerKey : key;
    if (X509_set_issuer_name(cert.get(), X509_get_subject_name(signer)) != 1 ||
        X509_set_pubkey(cert.get(), key) != 1)
        return nullptr;

    bool ok = AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (issuer) ok = ok && AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (desc.ca) {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
             AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        if (desc.server) {
            std::string san;
            for (const auto& d : desc.dnsNames) san += (san.empty() ? "DNS:" : ",DNS:") + d;
            for (const auto& ip : desc.ipAddresses) san += (san.empty() ? "IP:" : ",IP:") + ip;
            ok = ok && AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
                 AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
                 (san.empty() || AddExtension(cert.get(), signer, NID_subject_alt_name, san));
        } else {
            ok = ok && AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,nonRepudiation") &&
                 AddExtension(cert.get(), signer, NID_ext_key_usage, "clientAuth,emailProtection");
        }
    }
    if (!ok || X509_sign(cert.get(), signerKey, EVP_sha256()) <= 0) {
        ERR_clear_error();
        return nullptr;
    }
    return cert;
}

bool WriteCertificatePem(const std::string& path, X509* cert) {
    FILE* f = CreateFile(path, 0644);
    if (!f) return false;
    bool ok = PEM_write_X509(f, cert) == 1;
    return (std::fclose(f) == 0) && ok;
}

bool WritePrivateKeyPem(const std::string& path, EVP_PKEY* key) {
    FILE* f = CreateFile(path, 0600);
    if (!f) return false;
    bool ok = PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return (std::fclose(f) == 0) && ok;
}

bool WritePfx(const std::string& path, const std::string& password, const std::string& friendlyName,
              EVP_PKEY* key, X509* cert, X509* caCert) {
    X509StackPtr chain(sk_X509_new_null());
    if (!chain) return false;
    if (caCert) {
        if (X509_up_ref(caCert) != 1) return false;
        if (sk_X509_push(chain.get(), caCert) <= 0) {
            X509_free(caCert);
            return false;
        }
    }
    // OpenSSL 3's defaults: AES-256-CBC with PBKDF2 and a SHA-256 MAC.
    Pkcs12Ptr p12(PKCS12_create(password.c_str(), friendlyName.c_str(), key, cert, chain.get(), 0, 0, 0, 0, 0));
    if (!p12) {
        ERR_clear_error();
        return false;
    }
    FILE* f = CreateFile(path, 0600);
    if (!f) return false;
    bool ok = i2d_PKCS12_fp(f, p12.get()) == 1;
    return (std::fclose(f) == 0) && ok;
}

} // namespace kovasvc
