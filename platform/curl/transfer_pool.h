// Process-wide state of the libcurl client: one-time library set-up and idle transfer handles
// kept per server so that their open connections serve the next request. The per-server
// connection limit is every client's (platform/connection_slots.h).
#pragma once

#include <curl/curl.h>

#include <string>

#include "platform/connection_slots.h"

namespace platform::curl {

// A multi handle with its one easy handle. The multi holds the connection cache, so a pair
// handed back after a finished answer keeps its kept-alive connection for the next request to
// the same server.
struct TransferHandles {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
};

// Initialises libcurl once, from any thread.
void EnsureLibraryReady();

// A pair for `server`: an idle one that talked to it before, or a new one. Empty handles when
// libcurl cannot make them. The easy handle comes reset to its defaults.
TransferHandles TakeHandles(const std::string& server);
// Gives back a pair whose easy handle is no longer in its multi.
void ReturnHandles(const std::string& server, TransferHandles handles);

}  // namespace platform::curl
