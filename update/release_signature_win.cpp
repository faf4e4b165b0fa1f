#include "update/release_signature.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <memory>

#include "ui/scoped_handle.h"

namespace update {

namespace {

using CryptKey = ui::UniqueHandle<HCRYPTKEY, CryptDestroyKey>;
using CryptHash = ui::UniqueHandle<HCRYPTHASH, CryptDestroyHash>;

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

}  // namespace

bool VerifySignature(const unsigned char* data, size_t size, const std::vector<unsigned char>& signature,
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
    HCRYPTKEY keyHandle = 0;
    if (!CryptImportKey(prov.get(), blob, blobSize, 0, 0, &keyHandle)) return false;
    const CryptKey key(keyHandle);
    HCRYPTHASH hashHandle = 0;
    if (!CryptCreateHash(prov.get(), CALG_SHA_256, 0, 0, &hashHandle)) return false;
    const CryptHash hash(hashHandle);
    // CryptHashData takes a DWORD of bytes at a time.
    for (size_t done = 0; done < size;) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        if (!CryptHashData(hash.get(), data + done, piece, 0)) return false;
        done += piece;
    }
    // CryptoAPI takes the signature least significant byte first; openssl
    // writes it most significant first.
    std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
    return CryptVerifySignatureW(hash.get(), reversed.data(), static_cast<DWORD>(reversed.size()), key.get(),
                                 nullptr, 0) != FALSE;
}

}  // namespace update
