#include "pkcs12.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/x509_vfy.h>

#include <climits>
#include <cstdio>

namespace kovasvc {

std::string OsslError() {
    unsigned long e = ERR_get_error();
    char buf[256] = "unknown OpenSSL error";
    if (e) ERR_error_string_n(e, buf, sizeof buf);
    ERR_clear_error();
    return buf;
}

void EnableLegacyPfx() {
    // Loading any provider explicitly stops the implicit default, so both.
    if (OSSL_PROVIDER_load(nullptr, "legacy")) OSSL_PROVIDER_load(nullptr, "default");
    ERR_clear_error();
}

std::string Base64(const std::string& bytes) {
    if (bytes.size() > INT_MAX / 2) return {};
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                            reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::string SerialHex(const X509* cert) {
    BnPtr bn(ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert), nullptr));
    if (!bn) return {};
    char* hex = BN_bn2hex(bn.get());
    std::string out = hex ? hex : "";
    OPENSSL_free(hex);
    return out;
}

std::string SubjectCn(const X509* cert) {
    X509_NAME* name = X509_get_subject_name(cert);
    int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (index < 0) return {};
    ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char* utf8 = nullptr;
    int n = ASN1_STRING_to_UTF8(&utf8, data);
    std::string out = n > 0 ? std::string(reinterpret_cast<char*>(utf8), static_cast<size_t>(n)) : "";
    OPENSSL_free(utf8);
    return out;
}

PfxStatus OpenPfx(const std::string& der, const std::string& password, PfxIdentity& out) {
    if (der.empty() || der.size() > INT_MAX) return PfxStatus::NotPkcs12;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    Pkcs12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(der.size())));
    if (!p12) {
        ERR_clear_error();
        return PfxStatus::NotPkcs12;
    }
    // An empty password may have been encoded either as no password or as "".
    const char* pass = password.c_str();
    if (PKCS12_mac_present(p12.get()) && !PKCS12_verify_mac(p12.get(), pass, static_cast<int>(password.size()))) {
        if (!password.empty() || !PKCS12_verify_mac(p12.get(), nullptr, 0)) {
            ERR_clear_error();
            return PfxStatus::WrongPassword;
        }
        pass = nullptr;
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* ca = nullptr;
    if (!PKCS12_parse(p12.get(), pass, &key, &cert, &ca)) {
        ERR_clear_error();
        // The MAC matched, so a failure here is a damaged or unsupported file
        // (for example a legacy cipher this OpenSSL no longer offers).
        return PfxStatus::NotPkcs12;
    }
    KeyPtr keyOwner(key);
    X509Ptr certOwner(cert);
    X509StackPtr caOwner(ca);
    if (!keyOwner || !certOwner || X509_check_private_key(certOwner.get(), keyOwner.get()) != 1) {
        ERR_clear_error();
        return PfxStatus::NoKey;
    }
    int aliasLen = 0;
    unsigned char* alias = X509_alias_get0(certOwner.get(), &aliasLen);
    out.alias = alias && aliasLen > 0 ? std::string(reinterpret_cast<char*>(alias), static_cast<size_t>(aliasLen)) : "";
    out.serialHex = SerialHex(certOwner.get());
    out.subjectCn = SubjectCn(certOwner.get());
    out.key = std::move(keyOwner);
    out.cert = std::move(certOwner);
    return PfxStatus::Ok;
}

bool SignSha256(EVP_PKEY* key, const std::string& data, std::string& base64) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    size_t len = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1) {
        ERR_clear_error();
        return false;
    }
    std::string sig(len, '\0');
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(&sig[0]), &len,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1) {
        ERR_clear_error();
        return false;
    }
    sig.resize(len);
    base64 = Base64(sig);
    return true;
}

bool IssuedByCa(X509* cert, const std::string& caPemPath) {
    StorePtr store(X509_STORE_new());
    StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (!store || !ctx || X509_STORE_load_file(store.get(), caPemPath.c_str()) != 1 ||
        X509_STORE_CTX_init(ctx.get(), store.get(), cert, nullptr) != 1) {
        ERR_clear_error();
        return false;
    }
    bool ok = X509_verify_cert(ctx.get()) == 1;
    ERR_clear_error();
    return ok;
}

} // namespace kovasvc
