#include "platform/curl/transfer_pool.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

namespace platform::curl {
namespace {

// Idle pairs kept per server; more would only hold sockets the engine never uses at once.
constexpr size_t kIdlePerServer = 8;

struct Pool {
    std::mutex lock;
    std::condition_variable slotsChanged;
    std::map<std::string, std::vector<TransferHandles>> idle;
    std::map<std::string, unsigned> slotsInUse;
    unsigned slotLimit = 0;
};

// Never destroyed: threads may still hand back handles while the process exits.
Pool& ThePool() {
    static Pool* pool = new Pool;
    return *pool;
}

void Destroy(TransferHandles handles) {
    if (handles.easy) {
        curl_easy_cleanup(handles.easy);
    }
    if (handles.multi) {
        curl_multi_cleanup(handles.multi);
    }
}

}  // namespace

std::string ServerOf(const char* url) {
    CURLU* parsed = curl_url();
    std::string server;
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        server = std::string(scheme) + "://" + host + ":" + port;
        for (char& c : server) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parsed);
    return server;
}

void EnsureLibraryReady() {
    static const CURLcode ready = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)ready;
}

TransferHandles TakeHandles(const std::string& server) {
    Pool& pool = ThePool();
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        auto found = pool.idle.find(server);
        if (found != pool.idle.end() && !found->second.empty()) {
            TransferHandles handles = found->second.back();
            found->second.pop_back();
            curl_easy_reset(handles.easy);
            return handles;
        }
    }
    TransferHandles handles{curl_multi_init(), curl_easy_init()};
    if (!handles.multi || !handles.easy) {
        Destroy(handles);
        return {};
    }
    return handles;
}

void ReturnHandles(const std::string& server, TransferHandles handles) {
    Pool& pool = ThePool();
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        std::vector<TransferHandles>& idle = pool.idle[server];
        if (idle.size() < kIdlePerServer) {
            idle.push_back(handles);
            return;
        }
    }
    Destroy(handles);
}

bool AcquireSlot(const std::string& server, const std::function<bool()>& abandoned) {
    Pool& pool = ThePool();
    std::unique_lock<std::mutex> hold(pool.lock);
    for (;;) {
        if (abandoned()) {
            return false;
        }
        unsigned& inUse = pool.slotsInUse[server];
        if (pool.slotLimit == 0 || inUse < pool.slotLimit) {
            ++inUse;
            return true;
        }
        pool.slotsChanged.wait(hold);
    }
}

void ReleaseSlot(const std::string& server) {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> hold(pool.lock);
    --pool.slotsInUse[server];
    pool.slotsChanged.notify_all();
}

void WakeSlotWaiters() {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.slotsChanged.notify_all();
}

void SetSlotLimit(unsigned limit) {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.slotLimit = limit;
    pool.slotsChanged.notify_all();
}

}  // namespace platform::curl
