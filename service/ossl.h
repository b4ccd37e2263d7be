// Owning wrappers for the OpenSSL objects the service touches, so every early
// return frees what it made.
#pragma once

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

namespace kovasvc {

template <typename T, void (*Free)(T*)>
struct OsslDeleter {
    void operator()(T* p) const { if (p) Free(p); }
};

inline void FreeX509Stack(STACK_OF(X509)* s) { sk_X509_pop_free(s, X509_free); }

using X509Ptr = std::unique_ptr<X509, OsslDeleter<X509, X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, OsslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OsslDeleter<PKCS12, PKCS12_free>>;
using BioPtr = std::unique_ptr<BIO, OsslDeleter<BIO, BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, OsslDeleter<BIGNUM, BN_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OsslDeleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using StorePtr = std::unique_ptr<X509_STORE, OsslDeleter<X509_STORE, X509_STORE_free>>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, OsslDeleter<X509_STORE_CTX, X509_STORE_CTX_free>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OsslDeleter<STACK_OF(X509), FreeX509Stack>>;

// The text of OpenSSL's most recent error on this thread (and clears the queue).
std::string OsslError();

} // namespace kovasvc
