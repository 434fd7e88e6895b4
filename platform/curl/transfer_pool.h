// Process-wide state of the libcurl client: one-time library set-up, idle transfer handles kept
// per server so that their open connections serve the next request, and the per-server
// connection limit.
#pragma once

#include <curl/curl.h>

#include <functional>
#include <string>

namespace platform::curl {

// A multi handle with its one easy handle. The multi holds the connection cache, so a pair
// handed back after a finished answer keeps its kept-alive connection for the next request to
// the same server.
struct TransferHandles {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
};

// "scheme://host:port" of `url` (lower case), the key of connection reuse and limits; empty
// when the URL cannot be parsed.
std::string ServerOf(const char* url);

// Initialises libcurl once, from any thread.
void EnsureLibraryReady();

// A pair for `server`: an idle one that talked to it before, or a new one. Empty handles when
// libcurl cannot make them. The easy handle comes reset to its defaults.
TransferHandles TakeHandles(const std::string& server);
// Gives back a pair whose easy handle is no longer in its multi.
void ReturnHandles(const std::string& server, TransferHandles handles);

// Waits for one of the `server`'s connection slots; false, without a slot, once `abandoned`
// answers true (checked whenever slots change and on WakeSlotWaiters).
bool AcquireSlot(const std::string& server, const std::function<bool()>& abandoned);
void ReleaseSlot(const std::string& server);
// Makes every waiter look at its `abandoned` again.
void WakeSlotWaiters();
// Slots per server; 0: no limit.
void SetSlotLimit(unsigned limit);

}  // namespace platform::curl
