// Signature checks from the system's library: a signature made by OpenSSL's command-line tool
// (converted to r and s) is taken, and every change of message, signature or key, and every
// malformed input, is refused, by OpenSSL on Linux as by CNG on Windows.
#include "platform/signature.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kKey(
    "\x04\x72\x32\x6c\x06\xd3\x28\xfb\xb1\x48\xfd\x18\xc7\xb3\x93\xea\x0d\x3f\x3f\xf5\xca\x0a\x78"
    "\x7c\x8d\xc5\xef\x28\xc5\x3b\x33\xe0\xfe\x0a\xd6\x26\xa4\xbf\x6a\xbf\xf1\x57\xf2\x28\x10\x06"
    "\x0f\x13\x5f\xfb\xac\xa8\x19\x52\xfe\xaa\x43\x50\xd6\xcd\xa8\x2a\x21\xe5\x5c",
    65);
const std::string kSignature(
    "\xf1\x0a\xcd\x9a\xd8\xfa\xac\x96\x6a\xad\x21\x22\x64\xa3\xfd\x4d\x18\x24\x50\xc8\x80\x1f\x1b"
    "\x33\xaf\x61\xba\xd2\x55\x82\x68\x9d\x07\x83\x52\xb7\xa4\xcf\x8a\x6d\x9a\x7e\xb8\xfb\xd8\xb2"
    "\x33\xa8\xc0\xb5\xf2\x38\xa7\x81\x0e\xef\xcc\x5d\xb5\xa7\xce\xf4\xfe\x04",
    64);
const std::string kMessage = "manifest bytes\n";

std::string Flipped(std::string bytes, size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 1);
    return bytes;
}

TEST(Signature, OnlyTheKeysSignatureOfTheExactBytesIsTaken) {
    EXPECT_TRUE(platform::VerifySignature(kKey, kMessage, kSignature));
    struct Case {
        const char* what;
        std::string key;
        std::string message;
        std::string signature;
    };
    for (const Case& c : {
             Case{"a changed byte", kKey, Flipped(kMessage, 3), kSignature},
             Case{"a byte more", kKey, kMessage + " ", kSignature},
             Case{"no message", kKey, "", kSignature},
             Case{"a changed r", kKey, kMessage, Flipped(kSignature, 0)},
             Case{"a changed s", kKey, kMessage, Flipped(kSignature, 63)},
             Case{"a short signature", kKey, kMessage, kSignature.substr(0, 63)},
             Case{"a long signature", kKey, kMessage, kSignature + "x"},
             Case{"no signature", kKey, kMessage, ""},
             Case{"zeros", kKey, kMessage, std::string(64, '\0')},
             Case{"another point", Flipped(kKey, 64), kMessage, kSignature},
             Case{"a compressed form", "\x02" + kKey.substr(1, 32), kMessage, kSignature},
             Case{"no key", "", kMessage, kSignature},
         }) {
        EXPECT_FALSE(platform::VerifySignature(c.key, c.message, c.signature)) << c.what;
    }
}

}  // namespace
