// What every HTTP client shares: the key of a server, and the per-server connection limit kept
// by the client itself (libcurl has no limit per host across handles; Wine's WinINet takes the
// limit option but opens more connections than it allows).
#pragma once

#include <functional>
#include <string>

namespace platform {

// "scheme://host:port" of `url` (lower case, the scheme's port when none is given), the key of
// connection reuse and limits; empty when it is not an http or https URL with a host.
std::string ServerOf(const char* url);

// Waits for one of `server`'s slots; false, without a slot, once `abandoned` answers true
// (checked whenever slots change and on WakeSlotWaiters).
bool AcquireSlot(const std::string& server, const std::function<bool()>& abandoned);
void ReleaseSlot(const std::string& server);
// Makes every waiter look at its `abandoned` again.
void WakeSlotWaiters();
// Slots per server; 0: no limit.
void SetSlotLimit(unsigned limit);

}  // namespace platform
