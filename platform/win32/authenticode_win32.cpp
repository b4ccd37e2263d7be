// Authenticode through the system's own verifier (WinVerifyTrust) and crypt32.
#include "platform/authenticode.h"

#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::wstring Wide(const std::string& path) {
    WideString w = MultiByteToWide(AnsiCodePage(), path.data(), path.size());
    return std::wstring(w.begin(), w.end());
}

bool DigestOfKey(PCCERT_CONTEXT cert, KeyDigest* out) {
    BYTE* der = nullptr;
    DWORD size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &cert->pCertInfo->SubjectPublicKeyInfo,
                             CRYPT_ENCODE_ALLOC_FLAG, nullptr, &der, &size))
        return false;
    bool ok = false;
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0) {
        if (BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
            ok = BCryptHashData(hash, der, size, 0) == 0 &&
                 BCryptFinishHash(hash, out->data(), static_cast<ULONG>(out->size()), 0) == 0;
            BCryptDestroyHash(hash);
        }
        BCryptCloseAlgorithmProvider(alg, 0);
    }
    LocalFree(der);
    return ok;
}

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &read, nullptr) &&
           read == size;
}

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// True when the PE file's certificate table is present and ends exactly at
// the end of the file. Windows accepts bytes after it by default and Wine
// does not; refusing them makes both behave alike, and nothing unsigned can
// ride along with a signed file.
bool SignatureEndsTheFile(HANDLE file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0) return false;
    const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    unsigned char dos[64];
    if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint64_t pe = U32(dos + 0x3C);
    // Signature, file header, and the optional header up to its last data
    // directory of interest (the security entry, index 4) in either layout.
    unsigned char head[4 + 20 + 112 + 5 * 8];
    if (pe + sizeof head > fileSize || !ReadAt(file, pe, head, sizeof head)) return false;
    if (U32(head) != 0x00004550u) return false;  // "PE\0\0"
    const unsigned char* optional = head + 24;
    const uint16_t optionalSize = U16(head + 4 + 16);
    size_t directories = 0, count = 0;
    switch (U16(optional)) {
    case 0x10B: directories = 96; count = U32(optional + 92); break;   // PE32
    case 0x20B: directories = 112; count = U32(optional + 108); break; // PE32+
    default: return false;
    }
    if (count <= 4 || optionalSize < directories + 5 * 8) return false;
    const uint64_t start = U32(optional + directories + 4 * 8), length = U32(optional + directories + 4 * 8 + 4);
    return length != 0 && start != 0 && start + length == fileSize;
}

// The signer certificate of a verification's state; null when there is none.
PCCERT_CONTEXT SignerOf(HANDLE state) {
    CRYPT_PROVIDER_DATA* data = WTHelperProvDataFromStateData(state);
    if (!data) return nullptr;
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(data, 0, FALSE, 0);
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain) return nullptr;
    return signer->pasCertChain[0].pCert;
}

} // namespace

ReadLockedFile& ReadLockedFile::operator=(ReadLockedFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

bool ReadLockedFile::Open(const std::string& path) {
    Close();
    // Shared for reading only: no one may write, rename or delete the file
    // while it is held, so what was checked is what gets started.
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    return true;
}

void ReadLockedFile::Close() {
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

bool ModuleSignerKey(KeyDigest* key) {
    wchar_t path[MAX_PATH] = {0};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    DWORD encoding = 0, contentType = 0, formatType = 0;
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &store,
                          &message, nullptr))
        return false;
    bool ok = false;
    DWORD size = 0;
    if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) && size > 0) {
        std::vector<BYTE> info(size);
        if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size)) {
            PCCERT_CONTEXT cert = CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT,
                                                             reinterpret_cast<CERT_INFO*>(info.data()), nullptr);
            if (cert) {
                ok = DigestOfKey(cert, key);
                CertFreeCertificateContext(cert);
            }
        }
    }
    CryptMsgClose(message);
    CertCloseStore(store, 0);
    return ok;
}

bool VerifyFileSignature(const ReadLockedFile& file, const std::string& path, KeyDigest* signer) {
    HANDLE h = static_cast<HANDLE>(file.Handle());
    if (!h || !SignatureEndsTheFile(h)) return false;
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) return false;

    const std::wstring wide = Wide(path);
    WINTRUST_FILE_INFO fileInfo;
    ZeroMemory(&fileInfo, sizeof fileInfo);
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = wide.c_str();
    fileInfo.hFile = h;
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // Nothing is fetched from the network while the customer waits.
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG trust = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    bool ok = false;
    if (trust == 0) {
        PCCERT_CONTEXT cert = SignerOf(data.hWVTStateData);
        ok = cert && DigestOfKey(cert, signer);
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return ok;
}

} // namespace platform
