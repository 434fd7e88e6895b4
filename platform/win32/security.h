// What the Windows files, folders and trust facts share: the user's identity, who may write a
// file or folder according to its access list, and folders made for the user alone.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/trust.h"

namespace platform::win32_security {

// The security identifier of the user running this process; empty when it cannot be read.
std::vector<BYTE> CurrentUser();
// Whether `sid` is the user, the administrators, the system or the installer service.
bool IsUserOrAdmin(PSID sid, PSID user);
// The facts of an open file or folder (opened with READ_CONTROL and FILE_READ_ATTRIBUTES).
TrustFacts FactsOf(HANDLE handle);
// Creates the folder `path` with an access list of its own, not inherited: the user, the
// administrators and the system, each with full access passed on to what it will hold. A
// folder made directly under a drive's root would otherwise let every signed-in user change
// it. False when it could not be created (an existing folder included).
bool CreateProtectedFolder(const std::wstring& path);

}  // namespace platform::win32_security
