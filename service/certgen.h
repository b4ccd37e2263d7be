// Making the demo data set's keys and certificates: a local CA, the server's
// certificate for localhost/127.0.0.1 and the customers' PKCS#12 files.
#pragma once

#include <string>
#include <vector>

#include "ossl.h"

namespace kovasvc {

struct CertDesc {
    std::string commonName;
    std::string organization;
    int days = 825;
    bool ca = false;
    bool server = false;              // serverAuth, with the names below
    std::vector<std::string> dnsNames;
    std::vector<std::string> ipAddresses;
};

KeyPtr GenerateRsaKey(int bits);
// Self-signed when issuer/issuerKey are null. Random 64-bit serial.
X509Ptr MakeCertificate(const CertDesc& desc, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey);

bool WriteCertificatePem(const std::string& path, X509* cert);
// Written with mode 0600: the key never becomes readable to others.
bool WritePrivateKeyPem(const std::string& path, EVP_PKEY* key);
bool WritePfx(const std::string& path, const std::string& password, const std::string& friendlyName,
              EVP_PKEY* key, X509* cert, X509* caCert);

} // namespace kovasvc
