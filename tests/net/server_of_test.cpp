// The key of a server, by which every HTTP client shares connections and slots.
#include <gtest/gtest.h>

#include "platform/connection_slots.h"

namespace {

TEST(ServerOf, KeysOfHttpAndHttpsUrls) {
    const struct {
        const char* url;
        const char* server;
    } cases[] = {
        {"http://files.test/a/b.bin", "http://files.test:80"},
        {"HTTPS://Files.Test/x", "https://files.test:443"},
        {"http://127.0.0.1:8080/file.json", "http://127.0.0.1:8080"},
        {"http://h:0080?q", "http://h:80"},
        {"http://user:pw@h:81#f", "http://h:81"},
        {"http://[::1]:9000/", "http://[::1]:9000"},
        {"http://[::1]/", "http://[::1]:80"},
        {"http://h:/", "http://h:80"},
        {"ftp://h/", ""},
        {"http:///path", ""},
        {"http://h:99999/", ""},
        {"http://h:8x/", ""},
        {"files.test/a", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::ServerOf(c.url), c.server) << (c.url ? c.url : "(null)");
    }
}

}  // namespace
