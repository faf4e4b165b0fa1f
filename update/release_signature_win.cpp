#include "update/release_signature.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <memory>

#include "update/win_handle.h"

namespace update {

namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

class CryptContext {
public:
    CryptContext() {
        if (!CryptAcquireContextW(&handle_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) handle_ = 0;
    }
    ~CryptContext() {
        if (handle_) CryptReleaseContext(handle_, 0);
    }
    CryptContext(const CryptContext&) = delete;
    CryptContext& operator=(const CryptContext&) = delete;
    HCRYPTPROV get() const { return handle_; }

private:
    HCRYPTPROV handle_ = 0;
};

class CryptKey {
public:
    CryptKey(HCRYPTPROV prov, const BYTE* blob, DWORD size) {
        if (!CryptImportKey(prov, blob, size, 0, 0, &handle_)) handle_ = 0;
    }
    ~CryptKey() {
        if (handle_) CryptDestroyKey(handle_);
    }
    CryptKey(const CryptKey&) = delete;
    CryptKey& operator=(const CryptKey&) = delete;
    HCRYPTKEY get() const { return handle_; }

private:
    HCRYPTKEY handle_ = 0;
};

class CryptHash {
public:
    explicit CryptHash(HCRYPTPROV prov) {
        if (!CryptCreateHash(prov, CALG_SHA_256, 0, 0, &handle_)) handle_ = 0;
    }
    ~CryptHash() {
        if (handle_) CryptDestroyHash(handle_);
    }
    CryptHash(const CryptHash&) = delete;
    CryptHash& operator=(const CryptHash&) = delete;
    HCRYPTHASH get() const { return handle_; }

private:
    HCRYPTHASH handle_ = 0;
};

bool HashFile(HCRYPTHASH hash, const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<BYTE> buffer(64 * 1024);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) return true;
        if (!CryptHashData(hash, buffer.data(), read, 0)) return false;
    }
}

}  // namespace

bool VerifyFileSignature(const std::wstring& path, const std::vector<unsigned char>& signature,
                         const unsigned char* publicKeyDer, size_t publicKeySize) {
    if (signature.empty() || !publicKeyDer || publicKeySize == 0) return false;
    BYTE* blob = nullptr;
    DWORD blobSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, publicKeyDer,
                             static_cast<DWORD>(publicKeySize), CRYPT_DECODE_ALLOC_FLAG, nullptr, &blob, &blobSize))
        return false;
    const std::unique_ptr<BYTE, LocalFreer> blobOwner(blob);
    // The blob's RSAPUBKEY says how long a signature under this key is; a
    // signature of another length is refused before the provider sees it.
    if (blobSize < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY)) return false;
    const auto* rsa = reinterpret_cast<const RSAPUBKEY*>(blob + sizeof(BLOBHEADER));
    if (signature.size() != rsa->bitlen / 8) return false;

    CryptContext prov;
    if (!prov.get()) return false;
    CryptKey key(prov.get(), blob, blobSize);
    if (!key.get()) return false;
    CryptHash hash(prov.get());
    if (!hash.get() || !HashFile(hash.get(), path)) return false;
    // CryptoAPI takes the signature least significant byte first; openssl
    // writes it most significant first.
    std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
    return CryptVerifySignatureW(hash.get(), reversed.data(), static_cast<DWORD>(reversed.size()), key.get(),
                                 nullptr, 0) != FALSE;
}

}  // namespace update
