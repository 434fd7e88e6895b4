// Owning pointers to OpenSSL's objects, for the signature backend and the publisher tool.
#pragma once

#include <openssl/evp.h>

#include <memory>

namespace openssl_owned {

// Frees with OpenSSL's own function for the type.
template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* pointer) const {
        Free(pointer);
    }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;

}  // namespace openssl_owned
