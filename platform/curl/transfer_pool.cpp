// The libcurl client's process-wide state: one-time set-up and idle transfer handles kept per
// server, whose open connections serve the next request.
#include "platform/curl/transfer_pool.h"

#include <map>
#include <mutex>
#include <vector>

namespace platform::curl {
namespace {

// Idle pairs kept per server; more would only hold sockets the engine never uses at once.
constexpr size_t kIdlePerServer = 8;

struct Pool {
    std::mutex lock;
    std::map<std::string, std::vector<TransferHandles>> idle;
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

}  // namespace platform::curl
