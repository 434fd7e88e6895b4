// The publisher's side of signed manifests: making a key pair and signing a manifest's bytes
// with ECDSA P-256 and SHA-256, in the forms platform/signature.h checks.
#pragma once

#include <string>

namespace manifest_signing {

// Writes a new private key to `keyFile` (PEM, readable and writable by its owner only; an
// existing file is never replaced) and its public key to `keyFile` + ".pub" (DER
// SubjectPublicKeyInfo, the file the build takes). False with `error` set on failure.
bool GenerateKey(const std::string& keyFile, std::string& error);

// Signs `message` with the private key in `keyFile`: r and s, 32 bytes each. False with
// `error` set when the key cannot be read or is not a P-256 key.
bool Sign(const std::string& keyFile, const std::string& message, std::string& signature,
          std::string& error);

}  // namespace manifest_signing
