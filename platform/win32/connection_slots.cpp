#include "platform/win32/connection_slots.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wininet.h>

#include <cctype>
#include <condition_variable>
#include <map>
#include <mutex>

namespace platform::win32 {
namespace {

struct Slots {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, unsigned> inUse;
    unsigned limit = 0;
};

// Never destroyed: threads may still give slots back while the process exits.
Slots& TheSlots() {
    static Slots* slots = new Slots;
    return *slots;
}

}  // namespace

std::string ServerOf(const char* url) {
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = "";
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    if (url == nullptr || !InternetCrackUrlA(url, 0, 0, &parts) || host[0] == '\0' ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        return "";
    }
    std::string server = std::string(parts.nScheme == INTERNET_SCHEME_HTTP ? "http" : "https") +
                         "://" + host + ":" + std::to_string(parts.nPort);
    for (char& c : server) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return server;
}

bool AcquireSlot(const std::string& server, const std::function<bool()>& abandoned) {
    Slots& slots = TheSlots();
    std::unique_lock<std::mutex> hold(slots.lock);
    for (;;) {
        if (abandoned()) {
            return false;
        }
        unsigned& inUse = slots.inUse[server];
        if (slots.limit == 0 || inUse < slots.limit) {
            ++inUse;
            return true;
        }
        slots.changed.wait(hold);
    }
}

void ReleaseSlot(const std::string& server) {
    Slots& slots = TheSlots();
    std::lock_guard<std::mutex> hold(slots.lock);
    --slots.inUse[server];
    slots.changed.notify_all();
}

void WakeSlotWaiters() {
    Slots& slots = TheSlots();
    std::lock_guard<std::mutex> hold(slots.lock);
    slots.changed.notify_all();
}

void SetSlotLimit(unsigned limit) {
    Slots& slots = TheSlots();
    std::lock_guard<std::mutex> hold(slots.lock);
    slots.limit = limit;
    slots.changed.notify_all();
}

}  // namespace platform::win32
