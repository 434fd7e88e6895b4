// Signature checks from the system's own library: libcrypto (OpenSSL) on Linux, the system's
// cryptography provider (CNG) on Windows. Used to check the manifest against the publisher's
// key built into the program.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// ECDSA over the curve P-256 with SHA-256. The public key is the uncompressed point
// (0x04, X, Y: 65 bytes); a signature is r and s, each 32 bytes big-endian (64 bytes).
inline constexpr size_t kPublicKeySize = 65;
inline constexpr size_t kSignatureSize = 64;

// True only when `signature` is a valid signature of exactly `message` by `publicKey`; false
// for a wrong signature and for a key or signature of the wrong size or form.
bool VerifySignature(std::string_view publicKey, std::string_view message,
                     std::string_view signature);

}  // namespace platform
