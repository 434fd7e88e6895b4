// The main of the test programs that run the real program: in a network of their own, so that
// its built-in server address is free for the tests' server.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "private_network.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::string why;
    if (!GTEST_FLAG_GET(list_tests) && !guitest::EnterPrivateNetwork(&why)) {
        std::fprintf(stderr,
                     "cannot make a private network for the program's server address (%s); "
                     "allow unprivileged user namespaces (sysctl "
                     "kernel.unprivileged_userns_clone=1)\n",
                     why.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
