// The server key and the per-server connection slots of every HTTP client
// (platform/connection_slots.h).
#include "platform/connection_slots.h"

#include <cctype>
#include <condition_variable>
#include <map>
#include <mutex>

namespace platform {
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

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

std::string ServerOf(const char* url) {
    const std::string text = url != nullptr ? url : "";
    const size_t colon = text.find("://");
    std::string server = Lower(text.substr(0, colon));
    if (colon == std::string::npos || (server != "http" && server != "https")) {
        return "";
    }
    // The authority ends where the path, query or fragment starts; user information goes.
    const size_t start = colon + 3;
    std::string authority = text.substr(start, text.find_first_of("/?#", start) - start);
    if (const size_t at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    std::string port = server == "http" ? "80" : "443";
    // A colon after an IPv6 literal's "]" (or in a name without one) starts the port.
    const size_t portColon = authority.rfind(':');
    if (portColon != std::string::npos && authority.find(']', portColon) == std::string::npos) {
        const std::string given = authority.substr(portColon + 1);
        authority.erase(portColon);
        if (!given.empty()) {
            if (given.size() > 5 || given.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(given) > 65535) {
                return "";
            }
            port = std::to_string(std::stoul(given));
        }
    }
    if (authority.empty()) {
        return "";
    }
    return server + "://" + Lower(authority) + ":" + port;
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

}  // namespace platform
