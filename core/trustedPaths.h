// Which folders the program writes into and which file it starts: only those that nobody but
// the user and the administrator can change, nor any folder above them (read from the root
// down, as a secure-path check does), so that what was checked stays what is used.
#pragma once

#include <string>
#include <vector>

#include "platform/trust.h"

namespace core {

// Why the steps of a path (outermost first) cannot be trusted; empty when they can. Each must
// belong to the user or the administrator. A folder above the last may let others add entries
// but not remove or rename those of others (a sticky folder such as /tmp): what the user owns
// in it stays the user's. The last, the folder written into or the file started, must let
// nobody else write at all when `lastIsUsed`; otherwise it is only the nearest existing folder
// above one still to be made, and is read as a folder above.
std::string TrustRefusal(const std::vector<platform::PathStep>& steps, bool lastIsUsed = true);

// Opens the folder at `path` into `held` and checks it and every folder above it; the refusal,
// empty when `held` holds the checked folder.
std::string OpenTrustedFolder(const char* path, platform::Held& held);

// Why `path` cannot be the download folder; empty when it can. A folder still to be made is
// judged by the nearest existing folder above it.
std::string DownloadFolderRefusal(const char* path);

// Opens and checks the download folder and makes that very folder the current one for the
// run; the refusal, empty when entered.
std::string EnterDownloadFolder(const char* path);

// Checks the launch file `name` (relative to the download folder `folder`) right before its
// start and starts it: the folder and every folder down to the file checked as above, the file
// opened once without following a link, checked and hashed through that handle against
// `sha256`, and started only while its name still leads to that handle's file. The refusal,
// empty when it was started; `started` tells a refusal from a start that the system failed.
//
// Why the file started is the file hashed: the start goes by name (elevation takes a path), so
// the name must not be able to change between the hash and the start. On POSIX systems nobody
// but the user and root can change the file or any folder above it (that is what was checked),
// and the name is compared with the held descriptor's device and inode just before the start.
// On Windows the checked file stays open across the start, shared for reading only: nobody can
// write, rename, replace or remove it until the new process has it.
std::string LaunchCheckedFile(const char* folder, const char* name, const std::string& sha256,
                              bool& started);

// `text` with every line longer than a box can show cut to about 200 bytes and "..." (never
// inside a character), so that a long name cannot push a message box off the screen.
std::string CutLongLines(const std::string& text);

}  // namespace core
