// SHA-256 from the system's own library: libcrypto (OpenSSL) on Linux, the system's
// cryptography provider on Windows. Used to check downloaded files against their manifest.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* bytes, size_t count);
    // The digest of everything fed since the start, as 64 lowercase hexadecimal digits; the
    // object then starts over, empty.
    std::string FinishHex();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace platform
