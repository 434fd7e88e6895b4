// The GUI test programs run the real program, which asks the server address built into it
// (127.0.0.1:8080). A network of the test program's own gives every run that port, whatever
// else listens on the machine's loopback.
#pragma once

#include <string>

namespace guitest {

// Moves this process (single-threaded still) into a new user and network namespace with its
// loopback up; everything it starts afterwards shares them. False with the reason when the
// system does not allow it.
bool EnterPrivateNetwork(std::string* why);

}  // namespace guitest
