// The maker's signature on a release file: RSA PKCS#1 v1.5 over SHA-256,
// detached, in the byte order openssl writes (tools/sign_release.py). Checked
// with the platform's own cryptography against a key built into the program.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace update {

// The release key the build was configured with (ZELVANE_UPDATE_PUBLIC_KEY),
// as a PKCS#1 RSAPublicKey in DER.
extern const unsigned char kReleasePublicKey[];
extern const size_t kReleasePublicKeySize;

// The release key the build was configured with; false in a build without
// one, which must not update itself.
inline bool HasReleaseKey() { return kReleasePublicKeySize != 0; }

// True only when signature is a valid signature of the size bytes at data
// under the key (PKCS#1 RSAPublicKey, DER). Any failure on the way is a refusal.
bool VerifySignature(const unsigned char* data, size_t size, const std::vector<unsigned char>& signature,
                     const unsigned char* publicKeyDer, size_t publicKeySize);

}  // namespace update
