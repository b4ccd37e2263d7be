// kova_addroot CERT: adds a CA certificate (PEM or DER) to the LocalMachine
// "Root" store of the Wine prefix it runs in, so WinInet trusts the local
// test and demo servers. Adding the same certificate again changes nothing.
// Exit code 0 on success.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const size_t kMaxCertFile = 1024 * 1024;

bool ReadFileWhole(const char* path, std::vector<BYTE>& out) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    BYTE block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        if (out.size() + n > kMaxCertFile) {
            std::fclose(f);
            return false;
        }
        out.insert(out.end(), block, block + n);
    }
    std::fclose(f);
    return !out.empty();
}

// PEM ("-----BEGIN CERTIFICATE-----") to DER; DER passes unchanged.
bool ToDer(const std::vector<BYTE>& file, std::vector<BYTE>& der) {
    const std::string text(file.begin(), file.end());
    if (text.find("-----BEGIN") == std::string::npos) {
        der = file;
        return true;
    }
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr) ||
        size == 0) {
        return false;
    }
    der.resize(size);
    return CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                                &size, nullptr, nullptr) != FALSE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kova_addroot CERT.pem|CERT.der\n");
        return 2;
    }
    std::vector<BYTE> file, der;
    if (!ReadFileWhole(argv[1], file) || !ToDer(file, der)) {
        std::fprintf(stderr, "kova_addroot: cannot read a certificate from %s\n", argv[1]);
        return 1;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"Root");
    if (!store) {
        std::fprintf(stderr, "kova_addroot: cannot open the Root store (error %lu)\n", GetLastError());
        return 1;
    }
    // USE_EXISTING: a certificate already present is success, not a duplicate.
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING,
                                                        nullptr);
    const DWORD error = added ? 0 : GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "kova_addroot: the certificate was not added (error %lu)\n", error);
        return 1;
    }
    return 0;
}
